// SPDX-License-Identifier: GPL-3.0-or-later
// The about box.
#include "CAboutDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "LicenceNotice.h"
#include "SkinImages.h"

namespace quorvell {

CAboutDialog::CAboutDialog(const QString& dataDirectory, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("关于 Quorvell"));
    setWindowIcon(ProgramIcon());
    auto* layout = new QGridLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(48, 48));
    layout->addWidget(icon, 0, 0, 4, 1, Qt::AlignTop);
    layout->addWidget(new QLabel(QStringLiteral("Quorvell, Version 1.0"), this), 0, 1);
    // The data path can be longer than the window is wide: it sits in a read-only field
    // that scrolls and copies whole, and the box never grows wider than its parent.
    auto* where = new QLabel(QStringLiteral("Presets are kept in"), this);
    layout->addWidget(where, 1, 1);
    auto* path =
        new QLineEdit(dataDirectory.isEmpty() ? QStringLiteral("(nowhere)") : dataDirectory, this);
    path->setObjectName(QStringLiteral("dataPath"));
    path->setReadOnly(true);
    path->setCursorPosition(0);
    path->setToolTip(path->text());
    layout->addWidget(path, 2, 1);
    auto* licence = new QLabel(
        QString::fromLatin1(kCopyrightLine) + '\n' + QString::fromLatin1(kLicenceLines), this);
    licence->setTextInteractionFlags(Qt::TextSelectableByMouse);
    licence->setWordWrap(true);
    layout->addWidget(licence, 3, 1);
    if (parent != nullptr) {
        setMaximumWidth(parent->width());
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons, 4, 0, 1, 2);
}

}  // namespace quorvell

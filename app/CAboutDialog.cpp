// The about box.
#include "CAboutDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>

#include "LicenceNotice.h"
#include "SkinImages.h"

namespace quorvell {

CAboutDialog::CAboutDialog(const QString& dataDirectory, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("关于 Quorvell"));
    setWindowIcon(ProgramIcon());
    auto* layout = new QGridLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(48, 48));
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(new QLabel(QStringLiteral("Quorvell, Version 1.0"), this), 0, 1);
    auto* where = new QLabel(QStringLiteral("Presets are kept in %1")
                                 .arg(dataDirectory.isEmpty() ? "(nowhere)" : dataDirectory),
                             this);
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(where, 1, 1);
    auto* licence = new QLabel(
        QString::fromLatin1(kCopyrightLine) + '\n' + QString::fromLatin1(kLicenceLines), this);
    licence->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(licence, 2, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons, 3, 0, 1, 2);
}

}  // namespace quorvell

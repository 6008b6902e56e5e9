// SPDX-License-Identifier: GPL-3.0-or-later
// Name dialog: black tiled background, "NAME:" caption, a 10-character field, 8 accepted.
#include "CNameDialog.h"

#include "CNameEdit.h"
#include "CTextLabel.h"
#include "ControlFonts.h"
#include "MessageBoxes.h"
#include "NameRules.h"
#include "PngButton.h"
#include "QtMessageBoxes.h"
#include "SkinImages.h"

namespace quorvell {

CNameDialog::CNameDialog(QWidget* parent, MessageBoxes* boxes)
    : CTiledDialog(parent), boxes(boxes) {
    setWindowTitle(QStringLiteral("Name"));
    setFixedSize(DialogX(187), DialogY(94));
    SetBackground(kDialogBackground);

    field = new CNameEdit(this);
    field->setObjectName(QStringLiteral("field%1").arg(kNameFieldId));
    field->setGeometry(DialogX(90), DialogY(23), DialogX(57), DialogY(14));
    field->SetMaximumLength(kFieldMaxLength);
    field->SetBackground(Qt::white);
    field->SetFocusBackground(Qt::white);
    field->setFont(PixelFont(QString::fromLatin1(kCaptionFamily), 20));
    QPalette p = field->palette();
    p.setColor(QPalette::Text, QColor(0, 0, 255));
    field->setPalette(p);
    field->notificationId = 0;

    caption = new CTextLabel(this);
    caption->setObjectName(QStringLiteral("label%1").arg(kCaptionLabelId));
    caption->setGeometry(DialogX(18), DialogY(23), DialogX(46), DialogY(16));
    caption->alignment = 1;
    // White: the label's default black would vanish on the black background.
    caption->textColor = Qt::white;
    caption->SetTransparent(true);
    caption->SetText(QStringLiteral("NAME:"));

    okButton = new PngButton(QStringLiteral("OK"), this);
    okButton->setGeometry(DialogX(29), DialogY(61), DialogX(50), DialogY(14));
    okButton->SetImages(kButtonDarkWide, kButtonCyanWide);
    cancelButton = new PngButton(QStringLiteral("Cancel"), this);
    cancelButton->setGeometry(DialogX(99), DialogY(61), DialogX(50), DialogY(14));
    cancelButton->SetImages(kButtonDarkWide, kButtonCyanWide);
    connect(okButton, &PngButton::clicked, this, &CNameDialog::accept);
    connect(cancelButton, &PngButton::clicked, this, &CNameDialog::reject);

    field->setFocus();
}

CNameDialog::~CNameDialog() = default;

void CNameDialog::SetName(const QString& text) {
    name = text;
    field->setText(text);
}

void CNameDialog::accept() {
    const QString typed = field->text();
    if (const auto refusal = CheckPresetName(typed.toStdString())) {
        Message refused;
        refused.text = *refusal;
        if (boxes != nullptr) {
            boxes->Show(refused);
        } else {
            QtMessageBoxes(this).Show(refused);
        }
        return;
    }
    name = typed;
    CTiledDialog::accept();
}

}  // namespace quorvell

// SPDX-License-Identifier: GPL-3.0-or-later
// The real message box behind the MessageBoxes interface.
#include "QtMessageBoxes.h"

#include <QCursor>
#include <QMessageBox>

#include "PressSwallower.h"

namespace quorvell {

MessageAnswer QtMessageBoxes::Show(const Message& message) {
    QMessageBox box(parent);
    box.setWindowTitle(message.caption.empty() ? QString::fromLatin1(kApplicationTitle)
                                               : QString::fromStdString(message.caption));
    box.setText(QString::fromStdString(message.text));
    switch (message.icon) {
        case MessageIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MessageIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
    }
    if (message.buttons == MessageButtons::OkCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
    box.setDefaultButton(QMessageBox::Ok);
    const int result = box.exec();
    // A double-click on a button must not act on the control beneath the closed box.
    PressSwallower::Arm(QCursor::pos());
    return result == QMessageBox::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

}  // namespace quorvell

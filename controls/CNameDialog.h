// SPDX-License-Identifier: GPL-3.0-or-later
// The modal dialog in which the operator types a short name (at most 8 characters).
#pragma once

#include "CTiledDialog.h"

namespace quorvell {

class CNameEdit;
class CTextLabel;
class MessageBoxes;
class PngButton;

class CNameDialog : public CTiledDialog {
    Q_OBJECT

public:
    static constexpr int kNameFieldId = 1098;
    static constexpr int kCaptionLabelId = 1099;
    static constexpr int kFieldMaxLength = 10;  // characters that can be typed
    static constexpr int kNameMaxLength = 8;    // characters (code points) accepted on OK

    // `boxes` shows "Channel name is too long."; null uses the real message box.
    explicit CNameDialog(QWidget* parent = nullptr, MessageBoxes* boxes = nullptr);
    ~CNameDialog() override;

    void SetName(const QString& name);
    QString Name() const { return name; }

    CNameEdit* NameField() const { return field; }
    PngButton* OkButton() const { return okButton; }
    PngButton* CancelButton() const { return cancelButton; }
    CTextLabel* CaptionLabel() const { return caption; }

public slots:
    void accept() override;

private:
    QString name;
    MessageBoxes* boxes = nullptr;
    CNameEdit* field = nullptr;
    CTextLabel* caption = nullptr;
    PngButton* okButton = nullptr;
    PngButton* cancelButton = nullptr;
};

}  // namespace quorvell

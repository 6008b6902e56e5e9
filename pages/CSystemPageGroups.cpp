// SPDX-License-Identifier: GPL-3.0-or-later
// The SYSTEM page's group row beside the search list: a name, GROUP for the rows chosen, and
// the group that page edits go to.
#include <QComboBox>
#include <QLineEdit>

#include "CSystemPage.h"
#include "PngButton.h"
#include "SkinImages.h"

namespace quorvell {

void CSystemPage::BuildGroupControls() {
    groupName_ = new QLineEdit(this);
    groupName_->setObjectName(QStringLiteral("groupName"));
    groupName_->setGeometry(420, 150, 100, 24);
    groupName_->setAccessibleName(QStringLiteral("Group name"));
    groupName_->setPlaceholderText(tr("group name"));
    groupName_->setMaxLength(kGroupNameMax);
    groupButton_ = new PngButton(QStringLiteral("GROUP"), this);
    groupButton_->setObjectName(QStringLiteral("groupButton"));
    groupButton_->setGeometry(530, 150, 70, 24);
    groupButton_->captionSize = 8;
    groupButton_->SetImages(kButtonDarkWide, kButtonCyanWide);
    groupButton_->setToolTip(
        tr("Makes the linked processors chosen in the list a group of this name; with none "
           "chosen, removes the group"));
    groupChooser_ = new QComboBox(this);
    groupChooser_->setObjectName(QStringLiteral("groupChooser"));
    groupChooser_->setGeometry(420, 180, 180, 24);
    groupChooser_->setAccessibleName(QStringLiteral("Active group"));
    groupChooser_->setToolTip(tr("With a group active, every edit goes to all its members"));
    SetGroups({}, {});
    connect(groupButton_, &PngButton::clicked, this, [this] {
        const QString name = groupName_->text().trimmed();
        if (!name.isEmpty()) {
            emit groupRequested(name, ChosenDevices());
        }
    });
    connect(groupChooser_, &QComboBox::activated, this,
            [this](int index) { emit groupChosen(groupChooser_->itemData(index).toString()); });
}

void CSystemPage::SetGroups(const QStringList& names, const QString& active) {
    groupChooser_->clear();
    groupChooser_->addItem(tr("no group"), QString());
    for (const QString& name : names) {
        groupChooser_->addItem(name, name);
    }
    groupChooser_->setCurrentIndex(std::max(0, groupChooser_->findData(active)));
}

void CSystemPage::ShowGroupControls(bool shown) {
    for (QWidget* widget : {static_cast<QWidget*>(groupName_), static_cast<QWidget*>(groupButton_),
                            static_cast<QWidget*>(groupChooser_)}) {
        widget->setVisible(shown);
    }
}

}  // namespace quorvell

// SPDX-License-Identifier: GPL-3.0-or-later
// Pop-up menus drawn in the program's own style, built from the program's menu tables.
#pragma once

#include <QColor>
#include <QMenu>
#include <QPoint>
#include <QStyle>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace quorvell {

// Menu 146, the preset slot menu: one pop-up "SAVE" with these commands.
inline constexpr int kPresetSlotMenu = 146;
inline constexpr int kCmdName = 32771;
inline constexpr int kCmdRecall = 32772;
inline constexpr int kCmdDelete = 32773;

// One entry of a menu table: a command (id > 0), a separator (id 0) or a pop-up whose items
// follow as `children`.
struct MenuEntry {
    const char* caption = "";
    int id = 0;
    bool grayed = false;
    std::span<const MenuEntry> children = {};
    bool isPopup = false;
};

class CMenuEx {
public:
    static constexpr int kSeparatorHeight = 10;
    static constexpr int kIconWidth = 16;
    static constexpr int kIconHeight = 15;
    static constexpr int kItemHeight = kIconHeight + 4;  // 19

    CMenuEx();
    ~CMenuEx();
    CMenuEx(const CMenuEx&) = delete;
    CMenuEx& operator=(const CMenuEx&) = delete;

    // Builds the menu from the program's table `menuId`; false for an unknown id.
    bool LoadMenu(int menuId);
    // Builds from an explicit table (tests, other menus).
    void Load(std::span<const MenuEntry> entries);

    // The pop-up at `position` of the top level (the owner shows position 0).
    QMenu* SubMenu(int position) const;

    // Shows pop-up 0 modally at `globalPos` and returns the chosen command id, if any.
    std::optional<int> TrackPopup(QPoint globalPos);

    // Width rule of an item: caption extent in the application's default font + 16, + 30 with
    // an image, + 15 when it opens a pop-up. An item is wider than this only where its caption,
    // drawn in the 16-pixel caption font from 26 pixels in, would otherwise be cut off.
    static int MeasureItemWidth(const QString& caption, bool hasImage, bool opensPopup);

private:
    QMenu* BuildPopup(const MenuEntry& popup, QWidget* parent);

    // Declared first so that it outlives the menus that use it.
    std::unique_ptr<QStyle> style;
    std::vector<std::unique_ptr<QMenu>> popups;
};

}  // namespace quorvell

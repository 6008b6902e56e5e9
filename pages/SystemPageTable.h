// SPDX-License-Identifier: GPL-3.0-or-later
// The system page's controls: ids, places, sub-pages and captions, one row each.
#pragma once

#include <array>

namespace quorvell::sys {

enum class SubPage : int { Connect = 0, Preset = 1, Set = 2, Help = 3 };
inline constexpr int kSubPageCount = 4;

enum class ControlKind { Tab, Button, Edit, List, Progress, Label, Chooser, Help, Bank, Status };

struct ControlSpec {
    int id = 0;
    ControlKind kind = ControlKind::Button;
    int subPage = -1;  // -1: always visible
    int x = 0, y = 0, width = 0, height = 0;
    const char* text = "";
    int textSize = 8;
};

inline constexpr int kTabConnectId = 1001;
inline constexpr int kSearchId = 1083;
inline constexpr int kAddressId = 1064;
inline constexpr int kConnectId = 1084;
inline constexpr int kDeviceListId = 1085;
inline constexpr int kProgressId = 1086;
inline constexpr int kNameLabelId = 1092;
inline constexpr int kNameFieldId = 1090;
inline constexpr int kApplyId = 1091;
inline constexpr int kResetId = 1093;
inline constexpr int kSaveId = 1096;
inline constexpr int kInterfaceId = 1121;  // interface chooser for the sweep
inline constexpr int kHelpTextId = 1122;
inline constexpr int kPollLabelId = 1123;  // read-back period while linked and idle
inline constexpr int kPollId = 1124;
inline constexpr int kRemoteLabelId = 1125;  // the remote control: ADDR:PORT, START/STOP, state
inline constexpr int kRemoteAddressId = 1126;
inline constexpr int kRemoteToggleId = 1127;
inline constexpr int kRemoteStatusId = 1128;
inline constexpr int kBackupId = 1129;  // the whole preset store into one archive file, and back
inline constexpr int kRestoreId = 1130;

// The read-back periods offered, in seconds; 0 is off (reads only after edits).
inline constexpr std::array<int, 7> kPollChoices = {0, 1, 2, 5, 10, 30, 60};

inline constexpr std::array<ControlSpec, 24> kControls = {{
    {1001, ControlKind::Tab, -1, 50, 20, 100, 24, "CONNECT", 12},
    {1002, ControlKind::Tab, -1, 180, 20, 100, 24, "PRESET", 12},
    {1003, ControlKind::Tab, -1, 310, 20, 100, 24, "SET", 12},
    {1004, ControlKind::Tab, -1, 440, 20, 100, 24, "HELP", 12},
    {kSearchId, ControlKind::Button, 0, 50, 80, 80, 24, "Search", 8},
    {kAddressId, ControlKind::Edit, 0, 150, 80, 120, 24, "", 8},
    {kConnectId, ControlKind::Button, 0, 300, 80, 80, 24, "Connect", 8},
    {kDeviceListId, ControlKind::List, 0, 50, 110, 350, 200, "", 8},
    {kProgressId, ControlKind::Progress, 0, 50, 310, 350, 20, "", 8},
    // Beside the list: which IPv4 interface's /24 the sweep covers (several addresses only).
    {kInterfaceId, ControlKind::Chooser, 0, 420, 110, 180, 24, "", 8},
    {kNameLabelId, ControlKind::Label, 2, 50, 80, 80, 24, "NAME:", 10},
    {kNameFieldId, ControlKind::Edit, 2, 150, 80, 120, 24, "", 8},
    {kApplyId, ControlKind::Button, 2, 300, 80, 80, 24, "APPLY", 8},
    {kPollLabelId, ControlKind::Label, 2, 50, 130, 100, 24, "READ-BACK:", 10},
    {kPollId, ControlKind::Chooser, 2, 150, 130, 120, 24, "", 8},
    {kRemoteLabelId, ControlKind::Label, 2, 50, 180, 100, 24, "REMOTE:", 10},
    {kRemoteAddressId, ControlKind::Edit, 2, 150, 180, 120, 24, "", 8},
    {kRemoteToggleId, ControlKind::Button, 2, 300, 180, 80, 24, "START", 8},
    {kRemoteStatusId, ControlKind::Status, 2, 150, 210, 640, 24, "", 8},
    {kResetId, ControlKind::Button, 1, 50, 80, 80, 24, "RESET", 8},
    {kBackupId, ControlKind::Button, 1, 170, 80, 80, 24, "BACKUP", 8},
    {kRestoreId, ControlKind::Button, 1, 270, 80, 80, 24, "RESTORE", 8},
    {kSaveId, ControlKind::Bank, 1, 50, 150, 50, 50, "Save", 8},
    {kHelpTextId, ControlKind::Help, 3, 50, 70, 700, 480, "", 8},
}};

// Device list columns: "DEVICE IP" 150, "PORT" 100, "Name" 100; progress range 0..254.
inline constexpr std::array<const char*, 3> kListColumns = {"DEVICE IP", "PORT", "Name"};
inline constexpr std::array<int, 3> kListColumnWidths = {150, 100, 100};
inline constexpr int kProgressMax = 254;

// The preset bank: kMaxPresets slot buttons, three rows of eight.
inline constexpr int kFirstSlotId = 1097;
constexpr int SlotX(int slot) {
    return 170 + 60 * (slot % 8);
}
constexpr int SlotY(int slot) {
    return 150 + 60 * (slot / 8);
}
inline constexpr int kSlotSize = 50;

inline constexpr std::size_t kNameMaxBytes = 10;

inline constexpr const char* kResetDeviceQuestion = "If do you reset the device data? ";
inline constexpr const char* kNameTooLong = "Name is too long.";
inline constexpr const char* kAlreadyConnect = "Already connect.";

}  // namespace quorvell::sys

// SPDX-License-Identifier: GPL-3.0-or-later
// The SYSTEM page: sub-pages, name entry, the device list and the preset bank.
#include <gtest/gtest.h>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableWidget>

#include "CPresetBank.h"
#include "CSystemPage.h"
#include "PageTestSupport.h"
#include "PngButton.h"

namespace quorvell {
namespace {

class SystemPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        page = std::make_unique<CSystemPage>(params, boxes, [this] { return rows; });
        page->ShowPage("10.1.2.3");
    }

    bool Shown(int id) const {
        QWidget* w = page->findChild<QWidget*>(QStringLiteral("control%1").arg(id));
        if (w == nullptr) {
            w = page->findChild<QWidget*>(QStringLiteral("button%1").arg(id));
        }
        return w != nullptr && w->isVisibleTo(page.get());
    }

    int VisibleSlots() const {
        int n = 0;
        for (int i = 0; i < kMaxPresets; ++i) {
            n += page->Bank()->Slot(i)->isVisibleTo(page.get()) ? 1 : 0;
        }
        return n;
    }

    DeviceParameters params{};
    ScriptedMessageBoxes boxes;
    std::vector<PresetRow> rows;
    std::unique_ptr<CSystemPage> page;
};

// Controls of different sub-pages share places: only the chosen tab's may be shown; HELP names
// the version, the data directory and the hints; showing the page again opens CONNECT with the
// current name and address.
TEST_F(SystemPageTest, EachTabShowsOnlyItsOwnControlsAndThePageOpensOnConnect) {
    page->SetHelpText("/srv/presets");
    const std::pair<int, std::vector<int>> tabs[] = {{1001, {1083, 1064, 1084, 1085, 1086}},
                                                     {1002, {1093, 1096}},
                                                     {1003, {1092, 1090, 1091}},
                                                     {1004, {1122}}};
    for (const auto& chosen : tabs) {
        QTest::mouseClick(page->Button(chosen.first), Qt::LeftButton);
        for (const auto& [tab, controls] : tabs) {
            EXPECT_EQ(page->Button(tab)->on, tab == chosen.first);
            for (int id : controls) {
                EXPECT_EQ(Shown(id), tab == chosen.first) << "tab " << chosen.first << " " << id;
            }
        }
    }
    for (const char* part : {"1.0", "/srv/presets", "wheel"}) {
        EXPECT_TRUE(page->HelpText()->text().contains(part)) << part;
    }
    std::copy_n("STAGE-L", 7, params.deviceName.begin());
    page->ShowPage("127.0.0.9");
    EXPECT_EQ(page->CurrentSubPage(), 0);
    EXPECT_EQ(page->AddressField()->text(), "127.0.0.9");
    EXPECT_EQ(page->NameField()->text(), "STAGE-L");
}

// A processor answering twice is listed once.
TEST_F(SystemPageTest, DeviceListKeepsOneRowPerAddress) {
    page->AddDevice("127.0.0.5", 39060, "A");
    page->AddDevice("127.0.0.6", 39060, "ABC");
    page->AddDevice("127.0.0.5", 39060, "A");
    ASSERT_EQ(page->DeviceList()->rowCount(), 2);
    EXPECT_EQ(page->DeviceList()->item(1, 1)->text(), "39060");
    EXPECT_EQ(page->DeviceList()->item(1, 2)->text(), "ABC");
}

// With several local addresses the operator picks the one Search sweeps.
TEST_F(SystemPageTest, InterfaceChooserAppearsOnlyForSeveralAddresses) {
    page->SetInterfaces({QHostAddress("127.0.0.1")}, QHostAddress("127.0.0.1"));
    EXPECT_FALSE(page->InterfaceChooser()->isVisibleTo(page.get()));
    EXPECT_TRUE(page->ChosenInterface().isNull());
    page->SetInterfaces({QHostAddress("10.0.0.4"), QHostAddress("192.168.7.9")},
                        QHostAddress("192.168.7.9"));
    EXPECT_TRUE(page->InterfaceChooser()->isVisibleTo(page.get()));
    EXPECT_EQ(page->ChosenInterface(), QHostAddress("192.168.7.9"));
    QSignalSpy search(page.get(), &CSystemPage::searchRequested);
    QTest::mouseClick(page->Button(1083), Qt::LeftButton);
    ASSERT_EQ(search.count(), 1);
    EXPECT_EQ(search.at(0).at(0).value<QHostAddress>(), QHostAddress("192.168.7.9"));
}

// Slots show the rows in order, no gaps, at most 24.
TEST_F(SystemPageTest, BankLabelsFollowTheRowsWithoutGaps) {
    rows = {{2, "SAVE2", "", ""}, {7, "SAVE7", "", ""}, {9, "SAVE9", "", ""}};
    QTest::mouseClick(page->Button(1002), Qt::LeftButton);
    EXPECT_EQ(VisibleSlots(), 3);
    EXPECT_EQ(page->Bank()->Slot(0)->text(), "2:SAVE2");
    EXPECT_EQ(page->Bank()->Slot(1)->text(), "7:SAVE7");
    EXPECT_TRUE(page->Bank()->SaveButton()->on);

    rows.clear();
    page->LoadSlots();
    EXPECT_EQ(VisibleSlots(), 0);

    for (int id = 1; id <= 30; ++id) {  // more rows than slots: the first 24 are shown
        rows.push_back({id, "P" + std::to_string(id), "", ""});
    }
    page->LoadSlots();
    EXPECT_EQ(VisibleSlots(), 24);
    EXPECT_EQ(page->Bank()->Slot(23)->text(), "24:P24");
}

// A slot's label gives its preset ID and name; labels without an ID give none.
TEST_F(SystemPageTest, SlotLabelSplitsAtTheFirstColon) {
    struct Case {
        QString label;
        std::optional<int> id;
        QString name;
    };
    const Case cases[] = {
        {"7:ABC", 7, "ABC"},         {"12:a:b:", 12, "a:b:"},  {"3:", 3, ""},
        {"SAVE4", std::nullopt, ""}, {":X", std::nullopt, ""},
    };
    for (const Case& c : cases) {
        const auto parsed = CPresetBank::ParseSlotLabel(c.label);
        ASSERT_EQ(parsed.has_value(), c.id.has_value()) << c.label.toStdString();
        if (parsed) {
            EXPECT_EQ(parsed->id, *c.id);
            EXPECT_EQ(parsed->name, c.name);
        }
    }
}

}  // namespace
}  // namespace quorvell

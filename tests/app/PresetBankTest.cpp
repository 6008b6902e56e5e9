// SPDX-License-Identifier: GPL-3.0-or-later
// The preset bank on the panel: save, rename, recall with its 25 frames, delete, refusals.
#include <QPushButton>
#include <QTimer>

#include "CMenuEx.h"
#include "CNameDialog.h"
#include "CNameEdit.h"
#include "CPresetBank.h"
#include "CSystemPage.h"
#include "PanelFixture.h"
#include "PanelUndo.h"
#include "PresetDatabase.h"
#include "PresetStore.h"
#include "SystemPageTable.h"

namespace quorvell {
namespace {

class PresetBankTest : public test::PanelFixture {
protected:
    // Starts the panel on `port` (not linked) and opens the PRESET sub-page.
    void OpenBank(quint16 port) {
        StartPanel("127.0.22.1", port, "127.0.22.2");
        ClickSystemButton(1002);
        bank = window->SystemPage()->Bank();
    }

    // Opens slot `index`'s menu and picks `command` from it.
    void Choose(int index, int command) {
        bank->SetMenuHook([command](QPoint) { return std::optional<int>(command); });
        QTest::mouseClick(bank->Slot(index), Qt::LeftButton);
        QCoreApplication::processEvents();
    }

    // Types `name` into the Name dialog that opens next and confirms it; `prefilled` gets what
    // the field held when it opened.
    void AnswerNameDialog(const char* name, QString* prefilled = nullptr) {
        QTimer::singleShot(0, [name, prefilled] {
            auto* dialog = qobject_cast<CNameDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            if (prefilled != nullptr) {
                *prefilled = dialog->NameField()->text();
            }
            dialog->NameField()->selectAll();
            QTest::keyClicks(dialog->NameField(), name);
            QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
        });
    }

    CPresetBank* bank = nullptr;
};

// Slots follow saves, renames and deletes; a recall applies the file a slot's ID names, sends
// it paced and is undone in one step; the Name dialog opens with the name alone.
TEST_F(PresetBankTest, SaveRenameRecallAndDeleteThroughTheSlots) {
    StartLinked("127.0.40.1", "127.0.40.2", 39440);
    ClickSystemButton(1002);
    bank = window->SystemPage()->Bank();

    // Save twice: slots 1:SAVE1 and 2:SAVE2 with band 1 gain +3.0 and -3.0 dB.
    app->Parameters().channels[0].bands[1].gain = 210;
    QTest::mouseClick(bank->SaveButton(), Qt::LeftButton);
    app->Parameters().channels[0].bands[1].gain = 150;
    QTest::mouseClick(bank->SaveButton(), Qt::LeftButton);
    ASSERT_TRUE(bank->Slot(1)->isVisible());
    EXPECT_EQ(bank->Slot(0)->text(), "1:SAVE1");
    EXPECT_EQ(bank->Slot(1)->text(), "2:SAVE2");

    QString prefilled;
    AnswerNameDialog("LIVE", &prefilled);
    Choose(0, kCmdName);
    EXPECT_EQ(prefilled, "SAVE1");
    EXPECT_EQ(bank->Slot(0)->text(), "1:LIVE");

    std::size_t mark = Mark();
    Choose(0, kCmdRecall);
    EXPECT_EQ(AwaitLogged(*processor, mark, 25), 25u);  // their bytes: AllParameterFrames
    EXPECT_EQ(processor->Settings().channels[0].bands[1].gain, 210);
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back().text, "Recall sucessfully!");
    // The recall is one step; its undo sends only the record it changed, back to the value
    // the processor had.
    EXPECT_EQ(window->Undo()->UndoButton()->toolTip(), "Preset recall");
    mark = Mark();
    QTest::mouseClick(window->Undo()->UndoButton(), Qt::LeftButton);
    EXPECT_EQ(AwaitLogged(*processor, mark, 1), 1u);
    EXPECT_EQ(processor->Settings().channels[0].bands[1].gain, 180);

    // DELETE slot 0: the bank closes up; slot 0 now recalls preset 2.
    Choose(0, kCmdDelete);
    EXPECT_EQ(bank->Slot(0)->text(), "2:SAVE2");
    EXPECT_FALSE(bank->Slot(1)->isVisible());
    EXPECT_FALSE(QFile::exists(dataDir.filePath("SAVE1.dat")));
    Choose(0, kCmdRecall);
    EXPECT_EQ(app->Parameters().channels[0].bands[1].gain, 150);
}

// Another program deletes preset 3 and saves a new one that takes ID 3 while the bank shows
// the old "3:SAVE3": NAME, RECALL and DELETE on that slot act on nothing, say why and list the
// slots again, after which the slot acts on the new preset.
TEST_F(PresetBankTest, ActionsOnAPresetReplacedElsewhereAreRefused) {
    OpenBank(42205);
    for (int i = 0; i < 3; ++i) {
        QTest::mouseClick(bank->SaveButton(), Qt::LeftButton);
    }
    ASSERT_EQ(bank->Slot(2)->text(), "3:SAVE3");
    ScriptedMessageBoxes quiet;
    PresetDatabase otherDb(dataDir.path(), quiet);
    DeviceParameters otherParams;
    ResetDeviceParameters(otherParams);
    otherParams.channels[0].bands[1].gain = 99;
    PresetStore other(otherDb, otherParams);
    app->Parameters().channels[0].bands[1].gain = 222;

    for (const int command : {kCmdDelete, kCmdRecall, kCmdName}) {
        SCOPED_TRACE(command);
        ASSERT_TRUE(other.DeletePreset(3));
        ASSERT_EQ(other.SavePreset(), 3);
        if (command == kCmdName) {
            AnswerNameDialog("STALE");
        }
        boxes.shown.clear();
        Choose(2, command);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_NE(boxes.shown[0].text.find("changed by another program"), std::string::npos)
            << boxes.shown[0].text;
        const auto rows = other.ListPresets();
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[2].name, "SAVE3");
        EXPECT_EQ(app->Parameters().channels[0].bands[1].gain, 222);
        EXPECT_EQ(bank->ShownRow(3)->fileIdentity, rows[2].fileIdentity) << "listed again";
    }
    Choose(2, kCmdRecall);
    EXPECT_EQ(app->Parameters().channels[0].bands[1].gain, 99);
}

// BACKUP and RESTORE by keyboard on the PRESET sub-page: a restore over presets asks first;
// Cancel keeps them, OK brings back the backup's IDs and names.
TEST_F(PresetBankTest, BackupAndRestoreByKeyboardAskBeforeReplacing) {
    OpenBank(42206);
    QTest::mouseClick(bank->SaveButton(), Qt::LeftButton);
    QTest::mouseClick(bank->SaveButton(), Qt::LeftButton);
    CSystemPage* page = window->SystemPage();
    const QString archive = dataDir.filePath("all.tar");
    page->SetArchiveChooser([&](bool) { return archive; });
    const auto press = [&](int from, int id) {
        page->Button(from)->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), page->Button(id));
        boxes.shown.clear();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        ASSERT_FALSE(boxes.shown.empty());
    };
    press(sys::kResetId, sys::kBackupId);
    EXPECT_EQ(boxes.shown.back().text, "Backed up 2 presets to " + archive.toStdString() + ".");
    Choose(0, kCmdDelete);

    boxes.answers = {MessageAnswer::Cancel};
    press(sys::kBackupId, sys::kRestoreId);
    EXPECT_EQ(boxes.shown[0].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(bank->Slot(0)->text(), "2:SAVE2");
    EXPECT_FALSE(bank->Slot(1)->isVisible());
    press(sys::kBackupId, sys::kRestoreId);
    EXPECT_EQ(bank->Slot(0)->text(), "1:SAVE1");
    EXPECT_EQ(bank->Slot(1)->text(), "2:SAVE2");
    EXPECT_EQ(boxes.shown.back().text, "Restored 2 presets from " + archive.toStdString() + ".");
}

// A preset saved while an attempt was pending carries that flag in its file; recalled while
// not linked, it must not block the next Connect.
TEST_F(PresetBankTest, RecallOfAFileSavedWhilePendingLeavesConnectWorking) {
    sim::SimProcessor& processor = AddProcessor("127.0.22.2", 42111);
    OpenBank(42111);
    app->Parameters().connectPending = 1;  // as during an attempt
    QTest::mouseClick(bank->SaveButton(), Qt::LeftButton);
    app->Parameters().connectPending = 0;
    Choose(0, kCmdRecall);
    EXPECT_EQ(app->Parameters().connectPending, 0);
    ConnectThroughSystemPage();
    EXPECT_EQ(Received(processor, kReadCode).size(), 1u);
}

// Every refused save says why and adds no slot (a held lock: StallTest).
TEST_F(PresetBankTest, EveryRefusedSaveSaysWhy) {
    const auto saveIsRefused = [&](const char* says) {
        boxes.shown.clear();
        QTest::mouseClick(bank->SaveButton(), Qt::LeftButton);
        ASSERT_FALSE(boxes.shown.empty());
        EXPECT_NE(boxes.shown.back().text.find(says), std::string::npos) << boxes.shown.back().text;
        EXPECT_FALSE(bank->Slot(1)->isVisible()) << "no slot was added";
    };
    QFile(dataDir.filePath("file")).open(QIODevice::WriteOnly);
    dataDirOption = dataDir.filePath("file/presets");
    OpenBank(42201);
    saveIsRefused("no data directory");

    app.reset();
    dataDirOption.reset();
    OpenBank(42201);
    app->Database().ExecuteSQL("INSERT INTO DeviceDATA VALUES(24, 'X', 'SAVE24.dat')");
    saveIsRefused("no free preset ID");
}

// The database file deleted while the panel runs: the next save creates it again, and the
// presets whose files are still there come back with it.
TEST_F(PresetBankTest, VanishedDatabaseIsCreatedAgain) {
    OpenBank(42202);
    QTest::mouseClick(bank->SaveButton(), Qt::LeftButton);
    ASSERT_TRUE(QFile::remove(dataDir.filePath("Quorvel.mdb")));
    QTest::mouseClick(bank->SaveButton(), Qt::LeftButton);
    EXPECT_EQ(bank->Slot(1)->text(), "2:SAVE2");
    ScriptedMessageBoxes quiet;
    PresetDatabase fresh(dataDir.path(), quiet);
    DeviceParameters params;
    EXPECT_EQ(PresetStore(fresh, params).ListPresets().size(), 2u);
}

// "12:SAVE12" and longer names: the ID stays whole and every line fits the slot; a name cut
// to fit is whole in the slot's tooltip.
TEST_F(PresetBankTest, SlotCaptionsKeepTheirIdWhole) {
    OpenBank(42203);
    const std::vector<PresetRow> rows = {{1, "SAVE1", "", ""},
                                         {12, "SAVE12", "", ""},
                                         {24, "WWWWWWWW", "", ""},
                                         {7, "名前名前名前名前", "", ""},
                                         {23, "ÄÖ😀😀mmmm", "", ""},
                                         {99999, "LONGNAME", "", ""},
                                         {5, "FRONT OF HOUSE LEFT", "", ""}};
    bank->LoadSlots(rows);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        PngButton* slot = bank->Slot(static_cast<int>(i));
        SCOPED_TRACE(slot->text().toStdString());
        const PngButton::CaptionLayout layout = slot->LayoutCaption();
        EXPECT_TRUE(layout.lines[0].startsWith(QString::number(rows[i].id) + ':'));
        for (const QString& line : layout.lines) {
            EXPECT_LE(QFontMetrics(layout.font).horizontalAdvance(line), slot->width() - 4)
                << line.toStdString();
        }
    }
    EXPECT_EQ(bank->Slot(0)->toolTip(), QString());
    EXPECT_EQ(bank->Slot(6)->toolTip(), "5:FRONT OF HOUSE LEFT");
}

}  // namespace
}  // namespace quorvell

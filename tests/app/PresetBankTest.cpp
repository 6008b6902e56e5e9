// The preset bank on a linked panel: save, rename, recall with its 25 frames, delete.
#include <QTimer>

#include "CMenuEx.h"
#include "CNameDialog.h"
#include "CNameEdit.h"
#include "CPresetBank.h"
#include "PanelFixture.h"

namespace quorvell {
namespace {

class PresetBankTest : public test::PanelFixture {
protected:
    // Opens slot `index`'s menu and picks `command` from it.
    void Choose(int index, int command) {
        bank->SetMenuHook([command](QPoint) { return std::optional<int>(command); });
        QTest::mouseClick(bank->Slot(index), Qt::LeftButton);
        QCoreApplication::processEvents();
    }

    CPresetBank* bank = nullptr;
};

TEST_F(PresetBankTest, SaveRenameRecallAndDeleteThroughTheSlots) {
    constexpr quint16 kPort = 39440;
    sim::SimProcessor& processor = AddProcessor("127.0.40.2", kPort);
    StartPanel("127.0.40.1", kPort, "127.0.40.2");
    ConnectThroughSystemPage();
    ClickSystemButton(1002);
    bank = window->SystemPage()->Bank();
    EXPECT_FALSE(bank->Slot(0)->isVisible());

    // Save twice: slots 1:SAVE1 and 2:SAVE2; the first holds band 1 gain +3.0 dB.
    app->Parameters().channels[0].bands[1].gain = 210;
    QTest::mouseClick(bank->SaveButton(), Qt::LeftButton);
    app->Parameters().channels[0].bands[1].gain = 150;
    QTest::mouseClick(bank->SaveButton(), Qt::LeftButton);
    ASSERT_TRUE(bank->Slot(1)->isVisible());
    EXPECT_EQ(bank->Slot(0)->text(), "1:SAVE1");
    EXPECT_EQ(bank->Slot(1)->text(), "2:SAVE2");

    // NAME through the Name dialog.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<CNameDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->NameField()->selectAll();
        QTest::keyClicks(dialog->NameField(), "LIVE");
        QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    });
    Choose(0, kCmdName);
    EXPECT_EQ(bank->Slot(0)->text(), "1:LIVE");

    // RECALL: the model takes the file, 25 frames go out paced, the box confirms.
    const std::size_t mark = processor.Log().size();
    Choose(0, kCmdRecall);
    EXPECT_EQ(app->Parameters().channels[0].bands[1].gain, 210);
    EXPECT_TRUE(app->Link().linkUp());
    EXPECT_EQ(AwaitLogged(processor, mark, 25, 120), 25u);
    for (std::size_t i = mark; i < processor.Log().size(); ++i) {
        EXPECT_TRUE(processor.Log()[i].decoded.valid) << processor.Log()[i].decoded.reason;
    }
    EXPECT_EQ(processor.Settings().channels[0].bands[1].gain, 210);
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back().text, "Recall sucessfully!");

    // DELETE slot 0: the bank closes up, preset 2 moves to slot 0.
    Choose(0, kCmdDelete);
    EXPECT_EQ(bank->Slot(0)->text(), "2:SAVE2");
    EXPECT_FALSE(bank->Slot(1)->isVisible());
    EXPECT_FALSE(QFile::exists(dataDir.filePath("SAVE1.dat")));
}

}  // namespace
}  // namespace quorvell

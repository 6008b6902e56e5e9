// Where presets live: --data-dir, a writable executable directory, else the per-user folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "PresetStore.h"

namespace quorvell {
namespace {

TEST(DataDirectoryTest, OverrideIsCreatedAndWins) {
    QTemporaryDir root;
    ScriptedMessageBoxes boxes;
    const QString wanted = root.path() + "/a/b/presets";
    EXPECT_EQ(ResolveDataDirectory(wanted, root.path(), boxes), wanted);
    EXPECT_TRUE(QFileInfo(wanted).isDir());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(DataDirectoryTest, ImpossibleOverrideIsReported) {
    QTemporaryDir root;
    QFile blocker(root.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ScriptedMessageBoxes boxes;
    EXPECT_TRUE(ResolveDataDirectory(root.path() + "/file/sub", root.path(), boxes).isEmpty());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_NE(boxes.shown[0].text.find("file/sub"), std::string::npos);
}

TEST(DataDirectoryTest, WritableExecutableDirectoryIsAPortableInstall) {
    QTemporaryDir exe;
    ScriptedMessageBoxes boxes;
    EXPECT_EQ(ResolveDataDirectory({}, exe.path(), boxes), exe.path());
    EXPECT_EQ(QDir(exe.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList())
        << "the write probe was left behind";
}

TEST(DataDirectoryTest, ReadOnlyExecutableDirectoryFallsBackToAppData) {
    const QString appData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    ScriptedMessageBoxes boxes;
    // /proc refuses new files even to root; a missing directory cannot take one either.
    for (const QString& exeDir : {QString("/proc"), QString("/nonexistent/bin")}) {
        EXPECT_EQ(ResolveDataDirectory({}, exeDir, boxes), appData);
    }
    EXPECT_TRUE(QFileInfo(appData).isDir());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(DataDirectoryTest, PresetIdIsTheLeadingDigits) {
    EXPECT_EQ(ParsePresetId("12"), 12);
    EXPECT_EQ(ParsePresetId("7abc"), 7);
    EXPECT_EQ(ParsePresetId("007"), 7);
    EXPECT_EQ(ParsePresetId("x7"), std::nullopt);
    EXPECT_EQ(ParsePresetId(""), std::nullopt);
    EXPECT_EQ(ParsePresetId("99999999999"), std::nullopt);
}

}  // namespace
}  // namespace quorvell

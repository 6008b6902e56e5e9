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

// --data-dir is created and wins; one that cannot be made is reported and gives no folder.
TEST(DataDirectoryTest, OverrideIsCreatedAndWinsOrIsReported) {
    QTemporaryDir root;
    ScriptedMessageBoxes boxes;
    const QString wanted = root.path() + "/a/b/presets";
    EXPECT_EQ(ResolveDataDirectory(wanted, root.path(), boxes), wanted);
    EXPECT_TRUE(QFileInfo(wanted).isDir());
    EXPECT_TRUE(boxes.shown.empty());

    QFile blocker(root.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    EXPECT_TRUE(ResolveDataDirectory(root.path() + "/file/sub", root.path(), boxes).isEmpty());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_NE(boxes.shown[0].text.find("file/sub"), std::string::npos);
}

// The executable's folder only when it already holds the database (a portable install):
// a writable build or install folder alone is not one.
TEST(DataDirectoryTest, ExecutableFolderOnlyWhenItHoldsTheDatabase) {
    const QString appData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QTemporaryDir portable;
    QFile(portable.path() + "/Quorvel.mdb").open(QIODevice::WriteOnly);
    QTemporaryDir writable;
    QTemporaryDir holdsADirectory;
    QDir(holdsADirectory.path()).mkdir("Quorvel.mdb");
    const std::pair<QString, QString> cases[] = {
        {portable.path(), portable.path()}, {writable.path(), appData},
        {holdsADirectory.path(), appData},  {"/proc", appData},
        {"/nonexistent/bin", appData},
    };
    ScriptedMessageBoxes boxes;
    for (const auto& [exeDir, expected] : cases) {
        EXPECT_EQ(ResolveDataDirectory({}, exeDir, boxes), expected) << exeDir.toStdString();
    }
    EXPECT_TRUE(QFileInfo(appData).isDir());
    EXPECT_TRUE(QDir(writable.path()).isEmpty());
    EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace
}  // namespace quorvell

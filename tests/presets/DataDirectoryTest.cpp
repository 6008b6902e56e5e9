// SPDX-License-Identifier: GPL-3.0-or-later
// Where presets live: --data-dir, a portable executable directory, else the per-user folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "PresetDatabase.h"
#include "PresetStore.h"

namespace quorvell {
namespace {

// --data-dir is created and wins; one that cannot be made is reported once and gives no
// folder, over which the database then fails silently. Without it, the executable's folder
// only when it already holds the database: a writable build or install folder is not one.
TEST(DataDirectoryTest, OverrideElseExecutableFolderOnlyWhenItHoldsTheDatabase) {
    const QString appData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QTemporaryDir portable;
    QFile(portable.path() + "/Quorvel.mdb").open(QIODevice::WriteOnly);
    QTemporaryDir writable;
    QTemporaryDir holdsADirectory;
    QDir(holdsADirectory.path()).mkdir("Quorvel.mdb");
    QFile(holdsADirectory.path() + "/file").open(QIODevice::WriteOnly);
    const QString wanted = portable.path() + "/a/b/presets";
    const struct {
        QString dataDir, exeDir, expected;
    } cases[] = {
        {wanted, writable.path(), wanted},
        {holdsADirectory.path() + "/file/sub", portable.path(), {}},
        {{}, portable.path(), portable.path()},
        {{}, writable.path(), appData},
        {{}, holdsADirectory.path(), appData},
        {{}, "/proc", appData},
        {{}, "/nonexistent/bin", appData},
        {{}, PortableDirectory(), appData},
    };
    ScriptedMessageBoxes boxes;
    for (const auto& c : cases) {
        EXPECT_EQ(ResolveDataDirectory(c.dataDir, c.exeDir, boxes), c.expected)
            << c.dataDir.toStdString() << ' ' << c.exeDir.toStdString();
    }
    EXPECT_TRUE(QFileInfo(wanted).isDir());
    EXPECT_TRUE(QFileInfo(appData).isDir());
    EXPECT_TRUE(QDir(writable.path()).isEmpty());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_NE(boxes.shown[0].text.find("file/sub"), std::string::npos);

    PresetDatabase none(QString(), boxes);
    EXPECT_FALSE(none.OpenConnection());
    EXPECT_TRUE(none.GetRecordSet("SELECT 1").AtEnd());
    EXPECT_EQ(boxes.shown.size(), 1u);
}

}  // namespace
}  // namespace quorvell

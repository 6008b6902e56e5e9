// SPDX-License-Identifier: GPL-3.0-or-later
// quorvell-cli preset, offline: exit statuses and the data file round trip.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include "LinkTestSupport.h"

namespace quorvell::test {
namespace {

class PresetCliTest : public testing::Test {
protected:
    CliRun Cli(const QStringList& args) {
        return RunCli(std::nullopt, QStringList{"--data-dir", dir.path() + "/data"} + args);
    }

    QString Write(const QString& name, const QByteArray& bytes) {
        WriteFile(dir.filePath(name), bytes);
        return dir.filePath(name);
    }

    // An image every field of which is unset, tagged in its time stamps.
    static QByteArray Image(char seed) { return QByteArray(750, '\0') + QByteArray(18, seed); }

    QTemporaryDir dir;
};

TEST_F(PresetCliTest, ImportExportRoundTripAndExitStatuses) {
    const QByteArray image = Image(1);
    const QString good = Write("good.dat", image);
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    struct Step {
        QStringList args;
        int exit;
        const char* expect;  // in stdout or stderr
    };
    const Step steps[] = {
        {{"preset", "import", good}, 0, "as preset 1"},
        {{"preset", "import", Write("short.dat", image.left(767))}, 1, "767 bytes"},
        {{"preset", "import", Write("long.dat", image + "x")}, 1, "longer"},
        {{"preset", "import", dir.path()}, 1, "directory"},
        {{"preset", "import", dir.path() + "/none.dat"}, 1, "cannot read"},
        {{"preset", "import", fifo}, 1, "not a regular file"},
        {{"preset", "import", Write("wild.dat", QByteArray(768, 'x'))}, 1, "is 2021161080 (raw"},
        {{"preset", "rename", "1", "Ünï 'x'%"}, 0, ""},
        {{"preset", "rename", "1", "123456789"}, 2, "Channel name is too long."},
        {{"preset", "rename", "4", "x"}, 1, "no preset with ID 4"},
        {{"preset", "list"}, 0, "Ünï 'x'%"},
        {{"preset", "rename", "1", "ÄÖ名前😀😀😀😀"}, 0, ""},  // 8 code points, 12 UTF-16 units
        {{"preset", "rename", "1", "a\x1b[2J"}, 2, "control character U+001B"},
        {{"preset", "export", "1", dir.path() + "/out.dat"}, 0, ""},
        {{"preset", "recall", "1"}, 0, "Recall sucessfully!"},
        {{"preset", "recall", "2"}, 1, "no preset with ID 2"},
        {{"preset", "recall", "one"}, 2, "not a preset ID"},
        {{"preset", "delete", "1"}, 0, ""},
        {{"preset", "delete", "1"}, 1, "no preset with ID 1"},
        {{"preset", "frobnicate"}, 2, "unknown subcommand"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.args.join(' ').toStdString());
        const CliRun r = Cli(s.args);
        EXPECT_EQ(r.exitCode, s.exit) << r.err.toStdString();
        EXPECT_TRUE((r.out + r.err).contains(QString::fromUtf8(s.expect)))
            << (r.out + r.err).toStdString();
    }
    QFile out(dir.path() + "/out.dat");
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll(), image);

    // Bytes that are not UTF-8 are refused, not stored: the shell passes them as they are.
    Cli({"preset", "import", good});
    QProcess sh;
    sh.start("/bin/sh",
             {"-c", "exec \"$0\" --data-dir \"$1\" preset rename 1 \"$(printf 'A\\377B')\"",
              QStringLiteral(QUORVELL_CLI_PATH), dir.path() + "/data"});
    ASSERT_TRUE(sh.waitForFinished(30000));
    EXPECT_EQ(sh.exitCode(), 2);
    EXPECT_TRUE(QString::fromUtf8(sh.readAllStandardError()).contains("UTF-8"));
    EXPECT_TRUE(Cli({"preset", "list"}).out.contains(" SAVE1 "));

    // A damaged database never lists as an empty store.
    QFile db(dir.path() + "/data/Quorvel.mdb");
    ASSERT_TRUE(db.resize(1500));
    const CliRun damaged = Cli({"preset", "list"});
    EXPECT_EQ(damaged.exitCode, 1) << damaged.out.toStdString();
    EXPECT_FALSE(damaged.err.isEmpty());
}

// Data files left without a database are listed again when a new one is created, and a
// save never writes over a file that no row lists.
TEST_F(PresetCliTest, DataFilesWithoutADatabaseAreNeverOverwritten) {
    QDir().mkpath(dir.path() + "/data");
    const auto bytes = [](char seed, int size = 768) { return QByteArray(size, seed); };
    Write("data/SAVE1.dat", bytes('a'));
    Write("data/SAVE3.dat", bytes('c'));
    Write("data/SAVE2.dat", bytes('b', 100));  // damaged: not listed, not touched
    Write("data/SAVE30.dat", bytes('z'));      // beyond the 24 slots
    const QString other = Write("other.dat", Image('o'));

    const CliRun list = Cli({"preset", "list", "--json"});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(list.out.toUtf8()).array();
    ASSERT_EQ(rows.size(), 2) << list.out.toStdString();
    EXPECT_EQ(rows[0]["id"].toInt(), 1);
    EXPECT_EQ(rows[0]["name"].toString(), "SAVE1");
    EXPECT_EQ(rows[1]["id"].toInt(), 3);
    EXPECT_TRUE(list.err.contains("listed again")) << list.err.toStdString();
    EXPECT_FALSE(Cli({"preset", "list"}).err.contains("listed again")) << "said once";

    EXPECT_TRUE(Cli({"preset", "import", other}).out.contains("as preset 4"));
    Write("data/SAVE5.dat", bytes('e'));  // appears after the database: moved aside
    const CliRun stranger = Cli({"preset", "import", other});
    EXPECT_TRUE(stranger.out.contains("as preset 5"));
    EXPECT_TRUE(stranger.err.contains("SAVE5-unlisted-1.dat")) << stranger.err.toStdString();

    const std::pair<const char*, QByteArray> files[] = {
        {"SAVE1.dat", bytes('a')},           {"SAVE2.dat", bytes('b', 100)},
        {"SAVE3.dat", bytes('c')},           {"SAVE30.dat", bytes('z')},
        {"SAVE4.dat", Image('o')},           {"SAVE5.dat", Image('o')},
        {"SAVE5-unlisted-1.dat", bytes('e')}};
    for (const auto& [name, content] : files) {
        QFile f(dir.path() + "/data/" + name);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly) && f.readAll() == content) << name;
    }
}

#ifdef QUORVELL_PANEL_PATH
// Without --data-dir and without a database beside them, the panel and the CLI of a build
// tree keep their presets in the same per-user folder.
TEST_F(PresetCliTest, PanelAndCliShareOneDataDirectory) {
    const QString home = dir.path() + "/home";
    QDir().mkpath(home);
    for (const char* exe : {QUORVELL_PANEL_PATH, QUORVELL_CLI_PATH}) {
        ASSERT_FALSE(QFileInfo::exists(QFileInfo(exe).absolutePath() + "/Quorvel.mdb"))
            << "a portable database beside " << exe << " would win";
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.remove("XDG_DATA_HOME");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    const QString shared = home + "/.local/share/Quorvell/Quorvell/Quorvel.mdb";

    QProcess panel;  // creates its database at start-up
    panel.setProcessEnvironment(env);
    panel.start(QStringLiteral(QUORVELL_PANEL_PATH), {"--port", "42290", "--bind", "127.0.22.90"});
    WaitFor([&] { return QFileInfo::exists(shared); }, 20000);
    panel.kill();
    panel.waitForFinished(5000);
    ASSERT_TRUE(QFileInfo::exists(shared))
        << "the panel made no database in " << shared.toStdString();

    QProcess cli;
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(QUORVELL_CLI_PATH), {"preset", "import", Write("x.dat", Image('x'))});
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    EXPECT_TRUE(QFileInfo::exists(QFileInfo(shared).absolutePath() + "/SAVE1.dat"));
}
#endif

}  // namespace
}  // namespace quorvell::test

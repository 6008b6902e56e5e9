// quorvell-cli preset, offline: exit statuses and the data file round trip.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct CliRun {
    int exit = -1;
    QString out;
    QString err;
};

class PresetCliTest : public testing::Test {
protected:
    CliRun Cli(QStringList args) {
        args.prepend(dir.path() + "/data");
        args.prepend("--data-dir");
        QProcess p;
        p.start(QStringLiteral(QUORVELL_CLI_PATH), args);
        EXPECT_TRUE(p.waitForFinished(30000));
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    QString Write(const QString& name, const QByteArray& bytes) {
        QFile f(dir.path() + '/' + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }

    QTemporaryDir dir;
};

TEST_F(PresetCliTest, ImportExportRoundTripAndExitStatuses) {
    QByteArray image(768, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 13 + 1);
    const QString good = Write("good.dat", image);

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
        {{"preset", "rename", "1", "Ünï 'x'%"}, 0, ""},
        {{"preset", "rename", "1", "123456789"}, 2, "Channel name is too long."},
        {{"preset", "rename", "4", "x"}, 1, "no preset with ID 4"},
        {{"preset", "list"}, 0, "Ünï 'x'%"},
        {{"preset", "export", "1", dir.path() + "/out.dat"}, 0, ""},
        {{"preset", "recall", "1"}, 0, "Recall sucessfully!"},
        {{"preset", "recall", "2"}, 1, "no preset with ID 2"},
        {{"preset", "recall", "one"}, 2, "not a preset ID"},
        {{"preset", "delete", "1"}, 0, ""},
        {{"preset", "delete", "1"}, 1, "no preset with ID 1"},
        {{"preset", "list", "--json"}, 0, "["},
        {{"preset", "frobnicate"}, 2, "unknown subcommand"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.args.join(' ').toStdString());
        const CliRun r = Cli(s.args);
        EXPECT_EQ(r.exit, s.exit) << r.err.toStdString();
        EXPECT_TRUE((r.out + r.err).contains(QString::fromUtf8(s.expect)))
            << (r.out + r.err).toStdString();
    }
    QFile out(dir.path() + "/out.dat");
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll(), image);
}

}  // namespace

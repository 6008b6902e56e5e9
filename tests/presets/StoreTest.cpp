// SPDX-License-Identifier: GPL-3.0-or-later
// Store operations: ID allocation, the data file, recall, rename, delete, crash safety.
#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <functional>

#include "AllParameterFrames.h"
#include "PresetTestFixture.h"

namespace quorvell {
namespace {

constexpr std::size_t kLinkUpAt = 724;      // image offsets
constexpr std::size_t kRecalledAtAt = 750;  // 16 bytes

// Whether a recall leaves image offset `i` alone: the link's own fields (linkUp,
// connectAttempts, connectPending, connectSentAt) and the recall time stamp.
// The link fields always; the device name while linked (a recall never renames the processor).
bool KeptByRecall(std::size_t i, bool linked) {
    constexpr std::size_t kNameAt = 708;
    return (linked && i >= kNameAt && i < kNameAt + 16) || i == kLinkUpAt ||
           (i >= kLinkUpAt + 4 && i <= kLinkUpAt + 8) ||
           (i >= kLinkUpAt + 10 && i < kRecalledAtAt + 16);
}

using StoreTest = PresetTest;

TEST_F(StoreTest, SaveTakesHighestIdPlusOneUpToTheLimit) {
    struct Case {
        std::vector<int> existing;
        std::optional<int> deleted;
        std::optional<int> expected;
    };
    std::vector<int> upTo23;
    for (int i = 1; i <= 23; ++i)
        upTo23.push_back(i);
    const Case cases[] = {
        {{}, {}, 1},
        {{1, 2, 5}, {}, 6},
        {{1, 2, 5}, 5, 3},  // deleting the highest frees its ID again
        {{1, 2, 5}, 2, 6},  // a gap below the highest is never filled
        {upTo23, {}, 24},
        {{24}, {}, std::nullopt},
        {{3, 24}, {}, std::nullopt},
        {{30}, {}, std::nullopt},  // a table edited elsewhere
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "existing " << c.existing.size() << ", expected "
                                        << c.expected.value_or(0));
        ASSERT_TRUE(db->ExecuteSQL("DELETE FROM DeviceDATA"));
        for (const QString& f : QDir(dir.path()).entryList({"SAVE*.dat"}))
            QFile::remove(Path(f));
        for (int id : c.existing) {
            InsertRow(id, "SAVE" + std::to_string(id), Path(PresetFileName(id)));
            WriteAll(Path(PresetFileName(id)), QByteArray(768, 'x'));
        }
        if (c.deleted) {
            ASSERT_TRUE(store->DeletePreset(*c.deleted));
        }
        const std::size_t rowsBefore = store->ListPresets().size();
        const auto filesBefore = QDir(dir.path()).entryList({"SAVE*.dat"});
        boxes.shown.clear();

        EXPECT_EQ(store->SavePreset(), c.expected);
        EXPECT_EQ(boxes.shown.size(), c.expected ? 0u : 1u);
        const auto rows = store->ListPresets();
        ASSERT_EQ(rows.size(), rowsBefore + (c.expected ? 1 : 0));
        if (!c.expected) {
            EXPECT_NE(boxes.shown[0].text.find("no free preset ID"), std::string::npos);
            EXPECT_EQ(QDir(dir.path()).entryList({"SAVE*.dat"}), filesBefore);
            continue;
        }
        const PresetRow& added = rows.back();  // listed by ID
        EXPECT_EQ(added.name, "SAVE" + std::to_string(*c.expected));
        EXPECT_EQ(QString::fromStdString(added.fileName),
                  QDir::toNativeSeparators(Path(PresetFileName(*c.expected))));
        EXPECT_EQ(QFileInfo(Path(PresetFileName(*c.expected))).size(), 768);
    }
}

TEST_F(StoreTest, RecallRestoresEveryByteExceptTheLinkFieldsAndStampsTheTime) {
    const SystemTime stamp{2024, 2, 4, 29, 23, 59, 58, 999};
    store->SetClock([&] { return stamp; });
    std::vector<PacedSequence> sent;
    store->SetSink([&](PacedSequence s) { sent.push_back(std::move(s)); }, ComputeEulerE());

    for (std::uint8_t linkUpBefore : {0, 1}) {
        SCOPED_TRACE(int{linkUpBefore});
        const ParameterImage saved = Pattern(linkUpBefore == 0 ? 3 : 11);
        ReadParameterImage(params, saved);
        const auto id = store->SavePreset();
        ASSERT_TRUE(id.has_value());
        EXPECT_EQ(ReadAll(Path(PresetFileName(*id))), Bytes(saved));

        ReadParameterImage(params, Pattern(200));
        params.linkUp = linkUpBefore;
        const ParameterImage before = WriteParameterImage(params);
        sent.clear();
        boxes.shown.clear();
        EXPECT_EQ(store->RecallPreset(*id), RecallOutcome::Loaded);

        const ParameterImage now = WriteParameterImage(params);
        for (std::size_t i = 0; i < kImageSize; ++i) {
            const bool kept = KeptByRecall(i, linkUpBefore == 1);
            ASSERT_EQ(now[i], !kept               ? saved[i]
                              : i < kRecalledAtAt ? before[i]
                                                  : now[i])
                << "image offset " << i;
        }
        EXPECT_EQ(params.linkUp, linkUpBefore);
        EXPECT_EQ(params.recalledAt.year, 2024);
        EXPECT_EQ(params.recalledAt.milliseconds, 999);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, "Recall sucessfully!");
        ASSERT_EQ(sent.size(), linkUpBefore);  // sent only while the link is up
        if (linkUpBefore == 1) {
            const PacedSequence want = AllParameterFrames(params, ComputeEulerE());
            ASSERT_EQ(sent[0].size(), want.size());
            for (std::size_t i = 0; i < want.size(); ++i) {
                EXPECT_EQ(ToHex(sent[0][i].frame.Bytes()), ToHex(want[i].frame.Bytes())) << i;
                EXPECT_EQ(sent[0][i].gapMs, want[i].gapMs) << i;
            }
        }
    }
}

TEST_F(StoreTest, DataFileThatIsNotWholeLeavesTheModelAsItWas) {
    struct Case {
        const char* what;
        std::function<void(const QString&)> make;  // at the preset's file path
        int bytes;                                 // the file's size, named in the refusal
    };
    const Case cases[] = {
        {"missing", [](const QString&) {}, 0},
        {"a directory", [](const QString& p) { QDir().mkpath(p); }, 0},
        {"empty", [](const QString& p) { WriteAll(p, {}); }, 0},
        {"short", [](const QString& p) { WriteAll(p, Bytes(Pattern(90)).left(100)); }, 100},
        {"long", [](const QString& p) { WriteAll(p, Bytes(Pattern(90)) + QByteArray(50, 'z')); },
         818},
    };
    InsertRow(3, "SAVE3", Path("SAVE3.dat"));
    ReadParameterImage(params, Pattern(40));
    const ParameterImage before = WriteParameterImage(params);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(Path("SAVE3.dat")).removeRecursively();
        QFile::remove(Path("SAVE3.dat"));
        c.make(Path("SAVE3.dat"));
        boxes.shown.clear();

        EXPECT_EQ(store->RecallPreset(3), RecallOutcome::FileError);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_NE(boxes.shown[0].text.find("SAVE3.dat"), std::string::npos);
        if (c.bytes > 0) {
            EXPECT_NE(boxes.shown[0].text.find(std::to_string(c.bytes) + " bytes"),
                      std::string::npos)
                << boxes.shown[0].text;
        }
        EXPECT_EQ(WriteParameterImage(params), before);
    }
    boxes.shown.clear();
    EXPECT_EQ(store->RecallPreset(9), RecallOutcome::NoPreset);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kTextRecallDone);
    EXPECT_EQ(WriteParameterImage(params), before);
}

TEST_F(StoreTest, MovedInstallationRecallsFromTheDataDirectory) {
    QTemporaryDir elsewhere;
    WriteAll(elsewhere.path() + "/SAVE2.dat", Bytes(Pattern(5)));
    WriteAll(elsewhere.path() + "/SAVE3.dat", Bytes(Pattern(9)));
    WriteAll(Path("SAVE2.dat"), Bytes(Pattern(6)));
    WriteAll(Path("SAVE4.dat"), Bytes(Pattern(7)));
    WriteAll(Path("SAVE5.dat"), Bytes(Pattern(8)));
    InsertRow(2, "A", elsewhere.path() + "/SAVE2.dat");       // the one beside the database wins
    InsertRow(3, "D", elsewhere.path() + "/SAVE3.dat");       // none beside it: the stored path
    InsertRow(4, "B", "/nonexistent/old install/SAVE4.dat");  // moved
    InsertRow(5, "C", "C:\\Program Files\\Old\\SAVE5.dat");   // moved from another system
    const std::pair<int, std::uint8_t> expected[] = {{2, 6}, {3, 9}, {4, 7}, {5, 8}};
    for (auto [id, seed] : expected) {
        SCOPED_TRACE(id);
        params = {};
        ASSERT_EQ(store->RecallPreset(id), RecallOutcome::Loaded);
        EXPECT_EQ(WriteParameterImage(params)[100], Pattern(seed)[100]);
    }
}

TEST_F(StoreTest, RenameStoresAnyTextAndKeepsTheFile) {
    ASSERT_EQ(store->SavePreset(), 1);
    const std::string names[] = {"it's",       "50% \"q\"", "a:b:c",
                                 "Ünïcødé",    "名前",      "');DROP TABLE DeviceDATA;--",
                                 "_%_\\'\\''", ""};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(store->RenamePreset(1, name));
        const auto rows = store->ListPresets();
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].name, name);
        EXPECT_EQ(QString::fromStdString(rows[0].fileName),
                  QDir::toNativeSeparators(Path("SAVE1.dat")));
        EXPECT_TRUE(QFileInfo::exists(Path("SAVE1.dat")));
    }
    EXPECT_FALSE(store->RenamePreset(2, "nobody"));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(StoreTest, DeleteTrashesOnlyTheDataDirectorysOwnFileOrKeepsThePreset) {
    const QString trash =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files";
    QTemporaryDir elsewhere;
    WriteAll(elsewhere.path() + "/SAVE2.dat", "outside");
    WriteAll(Path("victim.txt"), "keep me");
    ASSERT_EQ(store->SavePreset(), 1);
    InsertRow(2, "A", elsewhere.path() + "/SAVE2.dat");
    InsertRow(3, "B", Path("victim.txt"));
    InsertRow(4, "C", Path("Quorvel.mdb"));
    InsertRow(5, "D", Path("SAVE1.dat"));  // another preset's file

    for (int id : {5, 4, 3, 2})
        EXPECT_TRUE(store->DeletePreset(id)) << id;
    EXPECT_TRUE(QFileInfo::exists(Path("SAVE1.dat")));
    EXPECT_EQ(ReadAll(Path("victim.txt")), "keep me");
    EXPECT_EQ(ReadAll(elsewhere.path() + "/SAVE2.dat"), "outside");

    const QByteArray saved = ReadAll(Path("SAVE1.dat"));
    EXPECT_TRUE(store->DeletePreset(1));
    EXPECT_FALSE(QFileInfo::exists(Path("SAVE1.dat")));
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown[0].text;
    bool inTrash = false;
    for (const QString& f : QDir(trash).entryList({"SAVE1*.dat"})) {
        inTrash = inTrash || ReadAll(trash + '/' + f) == saved;
    }
    EXPECT_TRUE(inTrash) << "not in " << trash.toStdString();
    EXPECT_FALSE(QFileInfo::exists(QDir::currentPath() + "/files/SAVE1.dat"));

    EXPECT_TRUE(store->ListPresets().empty());
    EXPECT_FALSE(store->DeletePreset(1));
    EXPECT_TRUE(QFileInfo::exists(Path("Quorvel.mdb")));

    // A trash that already holds a hundred deleted SAVE1.dat still takes another.
    QTemporaryDir full;
    ASSERT_TRUE(QDir().mkpath(full.path() + "/info") && QDir().mkpath(full.path() + "/files"));
    for (int k = 0; k < 100; ++k) {
        WriteAll(full.path() + (k == 0 ? QString("/info/SAVE1.dat.trashinfo")
                                       : QString("/info/SAVE1.%1.dat.trashinfo").arg(k)),
                 "[Trash Info]\n");
    }
    store->SetTrashDirectory(full.path());
    ASSERT_EQ(store->SavePreset(), 1);
    EXPECT_TRUE(store->DeletePreset(1));
    EXPECT_EQ(QDir(full.path() + "/files").entryList(QDir::Files).size(), 1u);

    // A trash that cannot take the file ends the delete at once with the preset kept.
    WriteAll(elsewhere.path() + "/Trash", "a file where the trash folder should be");
    store->SetTrashDirectory(elsewhere.path() + "/Trash");
    ASSERT_EQ(store->SavePreset(), 1);
    const QByteArray kept = ReadAll(Path("SAVE1.dat"));
    boxes.shown.clear();
    EXPECT_FALSE(store->DeletePreset(1));
    EXPECT_EQ(store->ListPresets().size(), 1u);
    EXPECT_EQ(ReadAll(Path("SAVE1.dat")), kept);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_NE(boxes.shown[0].text.find("was not deleted"), std::string::npos);
    EXPECT_TRUE(db->Begin());  // the lock was given back
    db->Rollback();
}

#ifndef _WIN32  // fork()
// Another program deletes the highest preset while this one saves: the save must never get
// the freed ID before the old file is gone. A crowded trash makes the move take long.
TEST_F(StoreTest, DeleteElsewhereNeverTrashesTheFileOfANewSave) {
    ASSERT_EQ(store->SavePreset(), 1);
    ASSERT_EQ(store->SavePreset(), 2);
    const QString trash =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files";
    ASSERT_TRUE(QDir().mkpath(trash));
    for (int i = 0; i < 1000; ++i) {
        QFile(trash + (i == 0 ? QString("/SAVE2.dat") : QString::asprintf("/SAVE2.dat-%04d", i)))
            .open(QIODevice::WriteOnly);
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ScriptedMessageBoxes quiet;
        PresetDatabase childDb(dir.path(), quiet);
        DeviceParameters childParams;
        _exit(PresetStore(childDb, childParams).DeletePreset(2) ? 0 : 1);
    }
    QElapsedTimer waited;
    waited.start();
    while (store->ListPresets().size() == 2 && waited.elapsed() < 20000) {
        QThread::msleep(2);
    }
    ReadParameterImage(params, Pattern(55));
    EXPECT_EQ(store->SavePreset(), 2);
    int status = 0;
    waitpid(child, &status, 0);
    QDir(trash).removeRecursively();
    EXPECT_EQ(WEXITSTATUS(status), 0);
    for (const PresetRow& row : store->ListPresets()) {
        EXPECT_EQ(QFileInfo(Path(PresetFileName(row.id))).size(), 768) << row.id;
    }
    EXPECT_EQ(ReadAll(Path("SAVE2.dat")), Bytes(Pattern(55)));
}
#endif  // _WIN32

// A message box is modal: none may be shown while this program holds the write lock, or
// another program's save or rename fails behind it. A refused insert leaves neither row nor
// file, and no transaction open.
TEST_F(StoreTest, MessagesWaitUntilTheLockIsReleased) {
    struct LockProbe final : MessageBoxes {
        MessageAnswer Show(const Message& message) override {
            ScriptedMessageBoxes quiet;
            PresetDatabase other(path, quiet, 0);
            free.push_back(other.Begin());
            other.Rollback();
            texts.push_back(message.text);
            return MessageAnswer::Ok;
        }
        QString path;
        std::vector<bool> free;
        std::vector<std::string> texts;
    } probe;
    probe.path = dir.path();
    PresetDatabase probed(dir.path(), probe);
    PresetStore probedStore(probed, params);
    ASSERT_EQ(probedStore.SavePreset(), 1);
    WriteAll(Path("SAVE2.dat"), "stray");  // moved aside, and said so
    ASSERT_EQ(probedStore.SavePreset(), 2);
    ASSERT_TRUE(
        probed.ExecuteSQL("CREATE TEMP TRIGGER refuse BEFORE INSERT ON DeviceDATA "
                          "BEGIN SELECT RAISE(ABORT, 'disk on fire'); END"));
    EXPECT_FALSE(probedStore.SavePreset().has_value());
    EXPECT_FALSE(QFileInfo::exists(Path("SAVE3.dat")));
    EXPECT_EQ(probedStore.ListPresets().size(), 2u);
    InsertRow(24, "LAST", Path("SAVE24.dat"));  // fails while a transaction is left open
    EXPECT_FALSE(probedStore.SavePreset().has_value());
    ASSERT_EQ(probe.texts.size(), 3u);
    EXPECT_NE(probe.texts[0].find("SAVE2-unlisted-1.dat"), std::string::npos);
    EXPECT_NE(probe.texts[1].find("disk on fire"), std::string::npos);
    EXPECT_NE(probe.texts[2].find("no free preset ID"), std::string::npos);
    EXPECT_EQ(probe.free, std::vector<bool>(3, true));
}

// Files and rows a recall or a save must refuse, changing nothing: values out of range, a
// link out of the data directory, an ID no preset can have.
TEST_F(StoreTest, RefusesHostileFilesAndRows) {
    QTemporaryDir elsewhere;
    const auto withField = [](const char* path, std::int32_t value) {
        DeviceParameters p{};
        ReadParameterImage(p, Pattern(3));
        *FindParameterPath(path)->Field(p) = value;
        return Bytes(WriteParameterImage(p));
    };
    struct Case {
        const char* what;
        std::function<void()> arrange;  // leaves preset 1 in some state
        const char* message;
    };
    const Case cases[] = {
        {"band below range", [&] { WriteAll(Path("SAVE1.dat"), withField("ch1.band3.freq", -1)); },
         "ch1.band3.freq is -1"},
        {"gain INT_MAX",
         [&] { WriteAll(Path("SAVE1.dat"), withField("ch2.band7.gain", 2147483647)); },
         "ch2.band7.gain is 2147483647"},
        {"filter type 99", [&] { WriteAll(Path("SAVE1.dat"), withField("ch1.hipass.type", 99)); },
         "ch1.hipass.type is 99"},
        {"link out of the folder",
         [&] {
             WriteAll(elsewhere.path() + "/secret", Bytes(Pattern(9)));
             QFile::remove(Path("SAVE1.dat"));
             ASSERT_TRUE(QFile::link(elsewhere.path() + "/secret", Path("SAVE1.dat")));
         },
         "not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(Path("SAVE1.dat"));
        ASSERT_TRUE(db->ExecuteSQL("DELETE FROM DeviceDATA"));
        ReadParameterImage(params, Pattern(1));
        ASSERT_EQ(store->SavePreset(), 1);
        c.arrange();
        boxes.shown.clear();
        params.linkUp = 1;
        int sent = 0;
        store->SetSink([&](PacedSequence) { ++sent; }, 1.0);
        EXPECT_EQ(store->RecallPreset(1), RecallOutcome::FileError);
        EXPECT_EQ(sent, 0);
        EXPECT_EQ(Bytes(WriteParameterImage(params)).mid(0, 700),
                  Bytes(Pattern(1)).mid(0, 700));  // the model is untouched
        ASSERT_FALSE(boxes.shown.empty());
        EXPECT_NE(boxes.shown[0].text.find(c.message), std::string::npos) << boxes.shown[0].text;
    }

    // An ID above any int: a save says so instead of taking ID 1 over preset 1's file.
    QFile::remove(Path("SAVE1.dat"));
    ASSERT_TRUE(db->ExecuteSQL("DELETE FROM DeviceDATA"));
    ASSERT_EQ(store->SavePreset(), 1);
    const QByteArray first = ReadAll(Path("SAVE1.dat"));
    ASSERT_TRUE(db->ExecuteSQL("INSERT INTO DeviceDATA VALUES(4294967297, 'X', 'SAVE1.dat')"));
    boxes.shown.clear();
    EXPECT_FALSE(store->SavePreset().has_value());
    EXPECT_EQ(ReadAll(Path("SAVE1.dat")), first);
    EXPECT_FALSE(QFileInfo::exists(Path("SAVE1-unlisted-1.dat")));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_NE(boxes.shown[0].text.find("out of range"), std::string::npos);
}

#ifndef _WIN32  // fork()
// A program killed at each step of a save, a delete or a restore leaves every listed preset with
// its data file, and the next save works. The child stops itself at the named step.
TEST_F(StoreTest, CrashAtAnyStepLeavesEveryListedPresetWithItsFile) {
    QTemporaryDir trash;
    struct Case {
        const char* step;
        char op;  // 's'ave, 'd'elete preset 2, 'r'estore the backup of both over them
        std::size_t listed;
    };
    const Case cases[] = {
        {"save-file-written", 's', 2}, {"save-committed", 's', 3},
        {"delete-prepared", 'd', 2},   {"delete-committed", 'd', 1},
        {"restore-cleared", 'r', 0},   {"restore-files-written", 'r', 0},
        {"restore-committed", 'r', 2},
    };
    const QString archive = trash.path() + "/both.tar";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        db->CloseConnection();
        for (const QString& f : QDir(dir.path()).entryList(QDir::Files))
            QFile::remove(Path(f));
        Reopen();
        ReadParameterImage(params, Pattern(6));
        ASSERT_EQ(store->SavePreset(), 1);
        ASSERT_EQ(store->SavePreset(), 2);
        ASSERT_EQ(store->BackupPresets(archive), 2);
        db->CloseConnection();
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ScriptedMessageBoxes quiet;
            PresetDatabase childDb(dir.path(), quiet);
            DeviceParameters childParams;
            ReadParameterImage(childParams, Pattern(7));
            PresetStore childStore(childDb, childParams);
            childStore.SetTrashDirectory(trash.path() + "/Trash");
            const std::string step = c.step;
            childStore.SetStepHook([&](std::string_view at) {
                if (at == step)
                    _exit(42);
            });
            if (c.op == 's')
                childStore.SavePreset();
            else if (c.op == 'd')
                childStore.DeletePreset(2);
            else
                childStore.RestorePresets(archive, true);
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 42) << status;
        Reopen();
        const auto rows = store->ListPresets();
        EXPECT_EQ(rows.size(), c.listed);
        for (const PresetRow& row : rows) {
            std::string error;
            EXPECT_TRUE(store->ReadImageFile(row, &error)) << error;
        }
        boxes.shown.clear();
        EXPECT_TRUE(store->SavePreset().has_value());
        if (std::string_view(c.step) == "save-file-written") {
            // The stray file belongs to no row: the save that takes its ID keeps it aside.
            EXPECT_TRUE(QFileInfo::exists(Path("SAVE3-unlisted-1.dat")));
        }
    }
}
#endif  // _WIN32

}  // namespace
}  // namespace quorvell

// SPDX-License-Identifier: GPL-3.0-or-later
// The database file: created encrypted with its table, foreign files reported and left as
// they are, statement errors reported with the engine's text.
#include <sqlite3.h>

#include <QFileInfo>

#include "PresetTestFixture.h"

namespace quorvell {
namespace {

// Creates a database at `path` holding one table; an empty key gives a plain SQLite file.
void CreateDatabase(const QString& path, std::string_view key) {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &raw), SQLITE_OK);
    if (!key.empty()) {
        sqlite3_key(raw, key.data(), static_cast<int>(key.size()));
    }
    ASSERT_EQ(
        sqlite3_exec(raw, "CREATE TABLE t(x); INSERT INTO t VALUES(1)", nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(raw);
}

// Whether a connection given `key` (none when empty) can read the schema of `path`.
bool Readable(const QString& path, std::string_view key) {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    if (!key.empty()) {
        sqlite3_key(raw, key.data(), static_cast<int>(key.size()));
    }
    const bool ok = sqlite3_exec(raw, "SELECT count(*) FROM DeviceDATA", nullptr, nullptr,
                                 nullptr) == SQLITE_OK;
    sqlite3_close(raw);
    return ok;
}

using DatabaseTest = PresetTest;

TEST_F(DatabaseTest, MissingFileIsCreatedEncryptedWithItsTable) {
    ASSERT_TRUE(db->OpenConnection());
    EXPECT_TRUE(boxes.shown.empty());
    db->CloseConnection();

    EXPECT_FALSE(Readable(Path("Quorvel.mdb"), {})) << "the file is not encrypted";
    EXPECT_FALSE(Readable(Path("Quorvel.mdb"), "123456"));
    EXPECT_TRUE(Readable(Path("Quorvel.mdb"), "514736"));
}

TEST_F(DatabaseTest, ForeignFilesAreReportedOnceAndLeftUntouched) {
    struct Case {
        const char* what;
        std::function<void(const QString&)> make;
    };
    const Case cases[] = {
        {"garbage", [](const QString& p) { WriteAll(p, QByteArray(4096, '\x5a')); }},
        {"another program's text", [](const QString& p) { WriteAll(p, "Standard Jet DB\n"); }},
        {"plain SQLite", [](const QString& p) { CreateDatabase(p, {}); }},
        {"other key", [](const QString& p) { CreateDatabase(p, "999999"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(Path("Quorvel.mdb"));
        c.make(Path("Quorvel.mdb"));
        const QByteArray before = ReadAll(Path("Quorvel.mdb"));
        boxes.shown.clear();
        Reopen();

        EXPECT_FALSE(db->OpenConnection());
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_NE(boxes.shown[0].text.find("Quorvel.mdb"), std::string::npos);
        EXPECT_NE(boxes.shown[0].text.find("not a database"), std::string::npos)
            << boxes.shown[0].text;

        // The bank lists silently; a save stops before writing anything.
        EXPECT_TRUE(store->ListPresets().empty());
        EXPECT_EQ(boxes.shown.size(), 1u);
        EXPECT_FALSE(store->SavePreset().has_value());
        EXPECT_FALSE(QFileInfo::exists(Path("SAVE1.dat")));
        EXPECT_EQ(store->RecallPreset(1), RecallOutcome::DatabaseError);
        EXPECT_NE(boxes.shown.back().text, kTextRecallDone);
        db->CloseConnection();
        EXPECT_EQ(ReadAll(Path("Quorvel.mdb")), before);
        EXPECT_FALSE(QFileInfo::exists(Path("Quorvel.mdb-journal")));
    }
}

TEST_F(DatabaseTest, StatementErrorShowsEngineTextAndGivesNoRows) {
    RecordSet rs = db->GetRecordSet("SELECT * FROM NoSuchTable");
    EXPECT_FALSE(rs.Succeeded());
    EXPECT_TRUE(rs.AtEnd());
    EXPECT_FALSE(db->ExecuteSQL("DELETE FROM NoSuchTable"));
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_NE(boxes.shown[0].text.find("no such table"), std::string::npos);
}

}  // namespace
}  // namespace quorvell

// SPDX-License-Identifier: GPL-3.0-or-later
// The SQLCipher side of the preset store: open with the key, create when missing, run bound
// statements, report the engine's error text.
#include "PresetDatabase.h"

#include <sqlite3.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cctype>
#include <map>

#include "DeviceParameters.h"

namespace quorvell {
namespace {

// The database password; fixed, and shared with every install that already holds presets.
constexpr std::string_view kDatabaseKey = "514736";

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// Owns one prepared statement.
struct Statement {
    sqlite3_stmt* handle = nullptr;
    ~Statement() { sqlite3_finalize(handle); }
};

// The first column of the first row of `sql`, or -1 when the query fails.
std::int64_t QueryInteger(sqlite3* db, const char* sql) {
    Statement statement;
    if (sqlite3_prepare_v2(db, sql, -1, &statement.handle, nullptr) != SQLITE_OK ||
        sqlite3_step(statement.handle) != SQLITE_ROW) {
        return -1;
    }
    return sqlite3_column_int64(statement.handle, 0);
}

bool IsBusy(sqlite3* db) {
    return (sqlite3_extended_errcode(db) & 0xff) == SQLITE_BUSY;
}

bool Bind(sqlite3_stmt* statement, const std::vector<SqlValue>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int index = static_cast<int>(i) + 1;
        int rc = SQLITE_OK;
        if (const auto* number = std::get_if<std::int64_t>(&values[i])) {
            rc = sqlite3_bind_int64(statement, index, *number);
        } else {
            const auto& text = std::get<std::string>(values[i]);
            rc = sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                                   SQLITE_TRANSIENT);
        }
        if (rc != SQLITE_OK) {
            return false;
        }
    }
    return true;
}

}  // namespace

RecordSet::RecordSet(std::vector<std::string> columns, std::vector<std::vector<std::string>> rows)
    : columns_(std::move(columns)), rows_(std::move(rows)), succeeded_(true) {}

std::string RecordSet::Field(std::string_view column) const {
    if (AtEnd()) {
        return {};
    }
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        if (EqualsIgnoringCase(columns_[c], column)) {
            return rows_[row_][c];
        }
    }
    return {};
}

PresetDatabase::PresetDatabase(QString dataDirectory, MessageBoxes& boxes, int busyTimeoutMs)
    : dataDirectory_(std::move(dataDirectory)), boxes_(boxes), busyTimeoutMs_(busyTimeoutMs) {}

PresetDatabase::~PresetDatabase() {
    CloseConnection();
}

QString PresetDatabase::FilePath() const {
    if (dataDirectory_.isEmpty()) {
        return {};
    }
    return dataDirectory_ + '/' + kPresetDatabaseFileName;
}

void PresetDatabase::Report(const std::string& text) {
    if (inTransaction_) {
        held_.push_back(text);
        return;
    }
    boxes_.Show(Message{text, {}, MessageButtons::Ok, MessageIcon::None});
}

void PresetDatabase::ReportEngineError() {
    Report(IsBusy(db_) ? std::string(kTextDatabaseBusy) : std::string(sqlite3_errmsg(db_)));
}

void PresetDatabase::ShowHeld() {
    std::vector<std::string> held;
    held.swap(held_);
    for (const std::string& text : held) {
        Report(text);
    }
}

bool PresetDatabase::Vanished() const {
    return !QFileInfo::exists(FilePath());
}

bool PresetDatabase::OpenConnection() {
    if (db_ != nullptr) {
        if (inTransaction_ || !Vanished()) {
            return true;
        }
        // Deleted or moved away while open: writes would go to a file nobody can see.
        CloseConnection();
    }
    openFailed_ = true;
    if (dataDirectory_.isEmpty()) {
        return false;  // already reported when the directory could not be had
    }
    const QString path = FilePath();
    const bool exists = QFileInfo::exists(path);
    // An existing file is opened without SQLITE_OPEN_CREATE: a file that turns out not to be
    // this database is then only read, never rewritten.
    const int flags = SQLITE_OPEN_READWRITE | (exists ? 0 : SQLITE_OPEN_CREATE);
    sqlite3* db = nullptr;
    const QByteArray encodedPath = QFile::encodeName(path);
    int rc = sqlite3_open_v2(encodedPath.constData(), &db, flags, nullptr);
    // The connection (and with it any lock) is gone before the message is shown.
    const auto fail = [&](const char* what) {
        const std::string text =
            db != nullptr && IsBusy(db)
                ? std::string(kTextDatabaseBusy)
                : std::string(what) + " " + path.toStdString() + ": " +
                      (db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        Report(text);
        return false;
    };
    if (rc != SQLITE_OK) {
        return fail("Cannot open the preset database");
    }
    sqlite3_extended_result_codes(db, 1);
    rc = sqlite3_key(db, kDatabaseKey.data(), static_cast<int>(kDatabaseKey.size()));
    if (rc != SQLITE_OK) {
        return fail("Cannot unlock the preset database");
    }
    sqlite3_busy_timeout(db, busyTimeoutMs_);
    // The first read decrypts page 1: a wrong key or a foreign file fails here, before
    // anything could be written.
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return fail("Cannot read the preset database");
    }
    int relisted = 0;
    const auto tableCount = [&] {
        return QueryInteger(db, "SELECT count(*) FROM sqlite_master WHERE name='DeviceDATA'");
    };
    if (tableCount() == 0) {
        // A new table: created, and the directory's unlisted data files listed, under the
        // write lock, so that two programs starting at once list them once.
        rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK && tableCount() == 0) {
            rc = sqlite3_exec(db,
                              "CREATE TABLE DeviceDATA("
                              "ID INTEGER PRIMARY KEY, NAME TEXT, FILENAME TEXT)",
                              nullptr, nullptr, nullptr);
            relisted = rc == SQLITE_OK ? AdoptUnlistedFiles(db) : 0;
            rc = relisted < 0 ? SQLITE_ERROR : rc;
        }
        if (rc == SQLITE_OK) {
            rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        }
        if (rc != SQLITE_OK) {
            return fail("Cannot create the preset table in");
        }
    }
    db_ = db;
    openFailed_ = false;
    if (relisted > 0) {
        Report("A new preset database was created in " +
               QDir::toNativeSeparators(dataDirectory_).toStdString() + "; its " +
               std::to_string(relisted) +
               " data file(s) SAVE<n>.dat without a preset are listed again as presets.");
    }
    return true;
}

int PresetDatabase::AdoptUnlistedFiles(sqlite3* db) {
    static const QRegularExpression kDataFile(QStringLiteral("^SAVE([1-9][0-9]?)\\.dat$"));
    std::map<int, QString> files;  // in ID order
    const QDir dir(dataDirectory_);
    for (const QFileInfo& info : dir.entryInfoList({QStringLiteral("SAVE*.dat")}, QDir::Files)) {
        const QRegularExpressionMatch match = kDataFile.match(info.fileName());
        const int id = match.hasMatch() ? match.captured(1).toInt() : 0;
        if (id >= 1 && id <= kMaxPresets && info.size() == static_cast<qint64>(kImageSize)) {
            files[id] = QDir::toNativeSeparators(info.absoluteFilePath());
        }
    }
    Statement insert;
    if (sqlite3_prepare_v2(db, "INSERT INTO DeviceDATA(ID, NAME, FILENAME) VALUES(?, ?, ?)", -1,
                           &insert.handle, nullptr) != SQLITE_OK) {
        return -1;
    }
    for (const auto& [id, path] : files) {
        const std::string name = "SAVE" + std::to_string(id);
        sqlite3_reset(insert.handle);
        if (!Bind(insert.handle, {std::int64_t{id}, name, path.toStdString()}) ||
            sqlite3_step(insert.handle) != SQLITE_DONE) {
            return -1;
        }
    }
    return static_cast<int>(files.size());
}

bool PresetDatabase::EnsureOpen() {
    return OpenConnection();
}

RecordSet PresetDatabase::GetRecordSet(std::string_view sql, const std::vector<SqlValue>& values) {
    if (!EnsureOpen()) {
        return {};
    }
    Statement statement;
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement.handle,
                           nullptr) != SQLITE_OK ||
        !Bind(statement.handle, values)) {
        ReportEngineError();
        return {};
    }
    std::vector<std::string> columns;
    const int count = sqlite3_column_count(statement.handle);
    for (int c = 0; c < count; ++c) {
        columns.emplace_back(sqlite3_column_name(statement.handle, c));
    }
    std::vector<std::vector<std::string>> rows;
    for (;;) {
        const int rc = sqlite3_step(statement.handle);
        if (rc == SQLITE_DONE) {
            break;
        }
        if (rc != SQLITE_ROW) {
            ReportEngineError();
            return {};
        }
        std::vector<std::string>& row = rows.emplace_back();
        for (int c = 0; c < count; ++c) {
            const auto* text = sqlite3_column_text(statement.handle, c);
            const int size = sqlite3_column_bytes(statement.handle, c);
            row.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "",
                             static_cast<std::size_t>(size));
        }
    }
    return RecordSet(std::move(columns), std::move(rows));
}

bool PresetDatabase::ExecuteSQL(std::string_view sql, const std::vector<SqlValue>& values) {
    changedRows_ = 0;
    if (!EnsureOpen()) {
        return false;
    }
    Statement statement;
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement.handle,
                           nullptr) != SQLITE_OK ||
        !Bind(statement.handle, values)) {
        ReportEngineError();
        return false;
    }
    int rc = SQLITE_ROW;
    while (rc == SQLITE_ROW) {
        rc = sqlite3_step(statement.handle);
    }
    if (rc != SQLITE_DONE) {
        ReportEngineError();
        return false;
    }
    changedRows_ = sqlite3_changes(db_);
    return true;
}

void PresetDatabase::CloseConnection() {
    if (db_ != nullptr) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
    inTransaction_ = false;
    ShowHeld();
}

bool PresetDatabase::Begin(bool exclusive) {
    if (inTransaction_ || !ExecuteSQL(exclusive ? "BEGIN EXCLUSIVE" : "BEGIN IMMEDIATE")) {
        return false;
    }
    inTransaction_ = true;
    return true;
}

bool PresetDatabase::Commit() {
    if (!inTransaction_ || !ExecuteSQL("COMMIT")) {
        return false;  // still open: the caller rolls back
    }
    inTransaction_ = false;
    ShowHeld();
    return true;
}

void PresetDatabase::Rollback() {
    if (db_ != nullptr && sqlite3_get_autocommit(db_) == 0) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    inTransaction_ = false;
    ShowHeld();
}

}  // namespace quorvell

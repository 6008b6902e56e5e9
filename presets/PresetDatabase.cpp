// The SQLCipher side of the preset store: open with the key, create when missing, run bound
// statements, report the engine's error text.
#include "PresetDatabase.h"

#include <sqlite3.h>

#include <QFileInfo>
#include <algorithm>
#include <cctype>

namespace quorvell {
namespace {

// The database password; fixed, and shared with every install that already holds presets.
constexpr std::string_view kDatabaseKey = "514736";
constexpr int kBusyTimeoutMs = 5000;  // the panel and the CLI may share the file

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

PresetDatabase::PresetDatabase(QString dataDirectory, MessageBoxes& boxes)
    : dataDirectory_(std::move(dataDirectory)), boxes_(boxes) {}

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
    boxes_.Show(Message{text, {}, MessageButtons::Ok, MessageIcon::None});
}

bool PresetDatabase::OpenConnection() {
    if (db_ != nullptr) {
        return true;
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
    const auto fail = [&](const char* what) {
        Report(std::string(what) + " " + path.toStdString() + ": " +
               (db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
        sqlite3_close_v2(db);
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
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // The first read decrypts page 1: a wrong key or a foreign file fails here, before
    // anything could be written.
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return fail("Cannot read the preset database");
    }
    rc = sqlite3_exec(db,
                      "CREATE TABLE IF NOT EXISTS DeviceDATA("
                      "ID INTEGER PRIMARY KEY, NAME TEXT, FILENAME TEXT)",
                      nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        return fail("Cannot create the preset table in");
    }
    db_ = db;
    openFailed_ = false;
    return true;
}

bool PresetDatabase::EnsureOpen() {
    return db_ != nullptr || OpenConnection();
}

RecordSet PresetDatabase::GetRecordSet(std::string_view sql, const std::vector<SqlValue>& values) {
    if (!EnsureOpen()) {
        return {};
    }
    Statement statement;
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement.handle,
                           nullptr) != SQLITE_OK ||
        !Bind(statement.handle, values)) {
        Report(sqlite3_errmsg(db_));
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
            Report(sqlite3_errmsg(db_));
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
        Report(sqlite3_errmsg(db_));
        return false;
    }
    int rc = SQLITE_ROW;
    while (rc == SQLITE_ROW) {
        rc = sqlite3_step(statement.handle);
    }
    if (rc != SQLITE_DONE) {
        Report(sqlite3_errmsg(db_));
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
}

}  // namespace quorvell

// SPDX-License-Identifier: GPL-3.0-or-later
// The preset database: one password-protected SQLCipher file, "Quorvel.mdb", in the data
// directory, with the table DeviceDATA(ID INTEGER PRIMARY KEY, NAME TEXT, FILENAME TEXT).
// Every statement binds its values; no SQL is ever assembled from text.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "MessageBoxes.h"

struct sqlite3;

namespace quorvell {

inline constexpr char kPresetDatabaseFileName[] = "Quorvel.mdb";
inline constexpr int kMaxPresets = 24;
inline constexpr char kTextDatabaseBusy[] = "The preset database is busy; try again.";
// How long a statement waits for another program's lock: the CLI can wait, the panel must not
// hold its event loop (one frame at 60 Hz is 16 ms).
inline constexpr int kCliBusyTimeoutMs = 5000;
inline constexpr int kPanelBusyTimeoutMs = 5;

// A value bound to a statement's "?" placeholder: an integer or UTF-8 text.
using SqlValue = std::variant<std::int64_t, std::string>;

// The rows of one query, read one by one by column name as text (NULL reads as empty text).
class RecordSet {
public:
    RecordSet() = default;
    RecordSet(std::vector<std::string> columns, std::vector<std::vector<std::string>> rows);

    bool AtEnd() const { return row_ >= rows_.size(); }
    void MoveNext() { ++row_; }
    // The current row's value of `column` (case-insensitive name); empty text when the
    // column does not exist or the rows are at their end.
    std::string Field(std::string_view column) const;
    std::size_t RowCount() const { return rows_.size(); }
    // False when the query could not run (the error has been reported); true for a query
    // that ran, even with no rows.
    bool Succeeded() const { return succeeded_; }

private:
    std::vector<std::string> columns_;
    std::vector<std::vector<std::string>> rows_;
    std::size_t row_ = 0;
    bool succeeded_ = false;
};

class PresetDatabase {
public:
    // `dataDirectory` holds Quorvel.mdb; an empty directory means there is none (the reason
    // was reported when the directory was resolved), and every open then fails silently.
    // Errors are shown through `boxes` as plain messages with the engine's text; a lock
    // that another program holds for longer than `busyTimeoutMs` reads kTextDatabaseBusy.
    PresetDatabase(QString dataDirectory, MessageBoxes& boxes,
                   int busyTimeoutMs = kCliBusyTimeoutMs);
    ~PresetDatabase();
    PresetDatabase(const PresetDatabase&) = delete;
    PresetDatabase& operator=(const PresetDatabase&) = delete;

    // Opens the file with the key; creates the file and DeviceDATA when they are missing.
    // A new table lists the data directory's unlisted "SAVE<n>.dat" files of 768 bytes again
    // (ID n, name SAVE<n>, n 1..24) and says so once. A file that exists but is not a
    // readable database with this key is reported and left as it is. An open database whose
    // file has vanished from the directory is closed and opened (or created) again.
    // Returns whether the database is open.
    bool OpenConnection();
    // Runs a query with its bound values. Opens the database first when it is not open.
    // On an error the engine's text is shown and the result holds no rows.
    RecordSet GetRecordSet(std::string_view sql, const std::vector<SqlValue>& values = {});
    // Runs a statement that gives no rows. Opens the database first when it is not open.
    // On an error the engine's text is shown and the result is false.
    bool ExecuteSQL(std::string_view sql, const std::vector<SqlValue>& values = {});
    // Rows changed by the last successful ExecuteSQL.
    int ChangedRows() const { return changedRows_; }
    void CloseConnection();

    // A write transaction: BEGIN IMMEDIATE (or EXCLUSIVE, which also waits for readers, so
    // that its COMMIT cannot be refused for a lock). Messages reported while it is open are
    // held back and shown once it has been committed or rolled back, so that no modal box
    // ever keeps the lock. Begin opens the database first.
    bool Begin(bool exclusive = false);
    bool Commit();
    void Rollback();
    bool InTransaction() const { return inTransaction_; }
    // Shows `text` now, or after the open transaction ends.
    void Report(const std::string& text);

    bool IsOpen() const { return db_ != nullptr; }
    // True after an open has failed and until the next successful open.
    bool OpenFailed() const { return openFailed_; }
    const QString& DataDirectory() const { return dataDirectory_; }
    QString FilePath() const;

private:
    void ReportEngineError();
    void ShowHeld();
    bool EnsureOpen();
    bool Vanished() const;
    int AdoptUnlistedFiles(sqlite3* db);

    QString dataDirectory_;
    MessageBoxes& boxes_;
    int busyTimeoutMs_;
    sqlite3* db_ = nullptr;
    bool openFailed_ = false;
    bool inTransaction_ = false;
    std::vector<std::string> held_;
    int changedRows_ = 0;
};

}  // namespace quorvell

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
    // Errors are shown through `boxes` as plain messages with the engine's text.
    PresetDatabase(QString dataDirectory, MessageBoxes& boxes);
    ~PresetDatabase();
    PresetDatabase(const PresetDatabase&) = delete;
    PresetDatabase& operator=(const PresetDatabase&) = delete;

    // Opens the file with the key; creates the file and DeviceDATA when they are missing.
    // A file that exists but is not a readable database with this key is reported and left
    // as it is. Returns whether the database is open.
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

    bool IsOpen() const { return db_ != nullptr; }
    // True after an open has failed and until the next successful open.
    bool OpenFailed() const { return openFailed_; }
    const QString& DataDirectory() const { return dataDirectory_; }
    QString FilePath() const;

private:
    void Report(const std::string& text);
    bool EnsureOpen();

    QString dataDirectory_;
    MessageBoxes& boxes_;
    sqlite3* db_ = nullptr;
    bool openFailed_ = false;
    int changedRows_ = 0;
};

}  // namespace quorvell

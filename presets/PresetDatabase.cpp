// Building stub; the implementation follows.
#include "PresetDatabase.h"

namespace quorvell {

RecordSet::RecordSet(std::vector<std::string> columns, std::vector<std::vector<std::string>> rows)
    : columns_(std::move(columns)), rows_(std::move(rows)) {}

std::string RecordSet::Field(std::string_view) const {
    return {};
}

PresetDatabase::PresetDatabase(QString dataDirectory, MessageBoxes& boxes)
    : dataDirectory_(std::move(dataDirectory)), boxes_(boxes) {}
PresetDatabase::~PresetDatabase() = default;
bool PresetDatabase::OpenConnection() {
    return false;
}
RecordSet PresetDatabase::GetRecordSet(std::string_view, const std::vector<SqlValue>&) {
    return {};
}
bool PresetDatabase::ExecuteSQL(std::string_view, const std::vector<SqlValue>&) {
    return false;
}
void PresetDatabase::CloseConnection() {}
QString PresetDatabase::FilePath() const {
    return dataDirectory_ + "/" + kPresetDatabaseFileName;
}
void PresetDatabase::Report(const std::string& text) {
    boxes_.Show(Message{text, {}, MessageButtons::Ok, MessageIcon::None});
}
bool PresetDatabase::EnsureOpen() {
    return false;
}

}  // namespace quorvell

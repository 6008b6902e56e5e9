// Building stub; the implementation follows.
#include "PresetStore.h"

namespace quorvell {

std::optional<int> ParsePresetId(std::string_view) {
    return std::nullopt;
}
QString PresetFileName(int id) {
    return QStringLiteral("SAVE%1.dat").arg(id);
}
QString ResolveDataDirectory(const QString& overrideDir, const QString&, MessageBoxes&) {
    return overrideDir;
}

PresetStore::PresetStore(PresetDatabase& database, DeviceParameters& params, MessageBoxes& boxes)
    : database_(database), params_(params), boxes_(boxes) {}
void PresetStore::SetSink(PacedSink sink, double eulerE) {
    sink_ = std::move(sink);
    eulerE_ = eulerE;
}
std::vector<PresetRow> PresetStore::ListPresets() {
    return {};
}
std::optional<int> PresetStore::SavePreset() {
    return std::nullopt;
}
RecallOutcome PresetStore::RecallPreset(int) {
    return RecallOutcome::NoPreset;
}
bool PresetStore::RenamePreset(int, std::string_view) {
    return false;
}
bool PresetStore::DeletePreset(int) {
    return false;
}
void PresetStore::SendAllParameters() {}
QString PresetStore::ResolveDataFile(const PresetRow& row) const {
    return QString::fromStdString(row.fileName);
}
void PresetStore::Report(const std::string& text) {
    boxes_.Show(Message{text, {}, MessageButtons::Ok, MessageIcon::None});
}

}  // namespace quorvell

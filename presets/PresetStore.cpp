// SPDX-License-Identifier: GPL-3.0-or-later
// Preset operations over the database and the data files.
#include "PresetStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <limits>

#include "AllParameterFrames.h"
#include "FileSystem.h"
#include "ParameterPaths.h"
#include "PresetTrash.h"

namespace quorvell {
namespace {

SystemTime LocalNow() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    const auto u16 = [](int v) { return static_cast<std::uint16_t>(v); };
    // SYSTEMTIME counts the day of the week from Sunday = 0; Qt from Monday = 1.
    return SystemTime{u16(date.year()),   u16(date.month()), u16(date.dayOfWeek() % 7),
                      u16(date.day()),    u16(time.hour()),  u16(time.minute()),
                      u16(time.second()), u16(time.msec())};
}

// The last component of a stored path, whichever separator the saving system used.
QString LastPathComponent(const QString& path) {
    const qsizetype cut = std::max(path.lastIndexOf('/'), path.lastIndexOf('\\'));
    return path.mid(cut + 1);
}

// A regular file (not a link, a pipe or a device) at `path`, read whole when it is no longer
// than `limit` bytes. Nothing after a refusal, with the reason in `*error`.
std::optional<QByteArray> ReadRegularFile(const QString& path, qint64 limit, QString* error) {
    const QFileInfo info(path);
    if (info.isSymLink() || (info.exists() && !info.isFile())) {
        *error = QStringLiteral("it is not a regular file");
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return std::nullopt;
    }
    QByteArray bytes = file.read(limit + 1);
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

std::optional<int> ParsePresetId(std::string_view text) {
    long long value = 0;
    std::size_t digits = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int>::max()) {
            return std::nullopt;
        }
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

QString PresetFileName(int id) {
    return QStringLiteral("SAVE%1.dat").arg(id);
}

void SetApplicationIdentity() {
    QCoreApplication::setOrganizationName(QString::fromLatin1(kOrganisationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationName));
}

QString PortableDirectory() {
#ifdef QUORVELL_PORTABLE
    return QCoreApplication::applicationDirPath();
#else
    return {};
#endif
}

QString ResolveDataDirectory(const QString& overrideDir, const QString& executableDir,
                             MessageBoxes& boxes) {
    const auto report = [&](const QString& text) {
        boxes.Show(Message{text.toStdString(), {}, MessageButtons::Ok, MessageIcon::None});
        return QString();
    };
    if (!overrideDir.isEmpty()) {
        const QString dir = QFileInfo(overrideDir).absoluteFilePath();
        if (!QDir().mkpath(dir) || !QFileInfo(dir).isDir()) {
            return report("Cannot create the data directory " + dir + ".");
        }
        return QDir::cleanPath(dir);
    }
    if (!executableDir.isEmpty() &&
        QFileInfo(executableDir + '/' + kPresetDatabaseFileName).isFile()) {
        return QDir::cleanPath(QFileInfo(executableDir).absoluteFilePath());
    }
    const QString appData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (appData.isEmpty() || !QDir().mkpath(appData)) {
        return report("Cannot create the data directory " + appData + ".");
    }
    return QDir::cleanPath(appData);
}

PresetStore::PresetStore(PresetDatabase& database, DeviceParameters& params)
    : database_(database), params_(params), clock_(LocalNow) {}

void PresetStore::SetSink(PacedSink sink, double eulerE) {
    sink_ = std::move(sink);
    eulerE_ = eulerE;
}

void PresetStore::Report(const std::string& text) {
    database_.Report(text);
}

std::vector<PresetRow> PresetStore::ListPresets() {
    return TryListPresets().value_or(std::vector<PresetRow>{});
}

std::optional<std::vector<PresetRow>> PresetStore::TryListPresets() {
    std::vector<PresetRow> rows;
    // The slot bank lists on every visit; a database that could not be opened has been
    // reported once and is not retried (and re-reported) from here.
    if (!database_.IsOpen() && database_.OpenFailed()) {
        return std::nullopt;
    }
    RecordSet rs = database_.GetRecordSet("SELECT * FROM DeviceDATA ORDER BY ID");
    if (!rs.Succeeded()) {
        return std::nullopt;
    }
    for (; !rs.AtEnd(); rs.MoveNext()) {
        PresetRow row{
            ParsePresetId(rs.Field("ID")).value_or(0), rs.Field("NAME"), rs.Field("FILENAME"), {}};
        row.fileIdentity = FileIdentity(row);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string PresetStore::FileIdentity(const PresetRow& row) const {
    const std::optional<platform::FileStatus> st = platform::StatusOf(ResolveDataFile(row));
    if (!st) {
        return {};
    }
    return std::to_string(st->device) + ':' + std::to_string(st->inode) + ':' +
           std::to_string(st->size) + ':' + std::to_string(st->modifiedNs) + ':' +
           std::to_string(st->createdNs);
}

bool PresetStore::StillAsShown(const PresetRow* shown, const std::optional<PresetRow>& now) {
    if (shown == nullptr) {
        return true;
    }
    if (now && now->id == shown->id && now->name == shown->name &&
        now->fileName == shown->fileName && FileIdentity(*now) == shown->fileIdentity) {
        return true;
    }
    Report("Preset " + std::to_string(shown->id) +
           " has been changed by another program since it was listed; nothing was done.");
    return false;
}

std::optional<int> PresetStore::SavePreset() {
    if (DataDirectory().isEmpty()) {
        Report("The preset was not saved: there is no data directory (see HELP).");
        return std::nullopt;
    }
    // The write lock is held from choosing the ID to the commit, so a second program
    // saving at the same time waits instead of taking the same ID. Messages wait for the
    // end of the transaction (the database holds them back).
    if (!database_.Begin()) {
        return std::nullopt;  // the open or the lock failed, and said why
    }
    const auto rollback = [&] {
        database_.Rollback();
        return std::nullopt;
    };
    RecordSet rs = database_.GetRecordSet("SELECT ID FROM DeviceDATA ORDER BY ID DESC LIMIT 1");
    if (!rs.Succeeded()) {
        return rollback();
    }
    long long n = 0;
    bool oddId = false;
    for (; !rs.AtEnd(); rs.MoveNext()) {
        // A row edited elsewhere may hold an ID no int can: that is "full", never "ID 1".
        const std::string text = rs.Field("ID");
        const auto parsed = ParsePresetId(text);
        oddId = !parsed || std::to_string(*parsed) != text;
        n = parsed.value_or(0);
    }
    n += 1;
    if (oddId) {
        Report("The preset was not saved: the database holds a preset ID out of range.");
        return rollback();
    }
    if (n > kMaxPresets) {
        Report("The preset was not saved: there is no free preset ID (preset " +
               std::to_string(n - 1) + " exists; delete it first).");
        return rollback();
    }
    const int id = static_cast<int>(n);
    const QString path = DataDirectory() + '/' + PresetFileName(id);

    // No row names this ID, so a file of its name belongs to no listed preset (a crash, an
    // older database): it is kept under a new name rather than overwritten.
    if (!MoveUnlistedAside(id, "The preset was not saved: ")) {
        return rollback();
    }

    // The file first, atomically; then the row. A crash before the commit leaves at most an
    // unlisted file, which the next save of this ID moves aside.
    const ParameterImage image = WriteParameterImage(params_);
    if (!WriteDataFile(path, QByteArrayView(reinterpret_cast<const char*>(image.data()),
                                            static_cast<qsizetype>(image.size())))) {
        return rollback();
    }
    StepHook("save-file-written");
    const std::string name = "SAVE" + std::to_string(id);
    if (!database_.ExecuteSQL(
            "INSERT INTO DeviceDATA(ID, NAME, FILENAME) VALUES(?, ?, ?)",
            {std::int64_t{id}, name, QDir::toNativeSeparators(path).toStdString()}) ||
        !database_.Commit()) {
        QFile::remove(path);  // no row refers to it: the ID is above every stored one
        return rollback();
    }
    StepHook("save-committed");
    return id;
}

bool PresetStore::MoveUnlistedAside(int id, const std::string& refusal) {
    const QString path = DataDirectory() + '/' + PresetFileName(id);
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) {
        return true;
    }
    QString aside;
    for (int k = 1; aside.isEmpty() || QFileInfo::exists(aside); ++k) {
        aside = DataDirectory() + QStringLiteral("/SAVE%1-unlisted-%2.dat").arg(id).arg(k);
    }
    if (!QFile::rename(path, aside)) {
        Report(refusal + QDir::toNativeSeparators(path).toStdString() +
               " belongs to no preset and could not be moved aside.");
        return false;
    }
    Report(QDir::toNativeSeparators(path).toStdString() +
           " belonged to no preset; it was kept as " +
           QDir::toNativeSeparators(aside).toStdString() + ".");
    return true;
}

bool PresetStore::WriteDataFile(const QString& path, QByteArrayView bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(bytes.data(), bytes.size()) != bytes.size() || !file.commit()) {
        Report("Cannot write " + QDir::toNativeSeparators(path).toStdString() + ": " +
               file.errorString().toStdString());
        return false;
    }
    return true;
}

QString PresetStore::ResolveDataFile(const PresetRow& row) const {
    // The file beside the database first, so that a copied data folder reads its own files;
    // the stored path only when there is none (files saved by name elsewhere).
    const QString stored = QString::fromStdString(row.fileName);
    QString name = LastPathComponent(stored);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) {
        name = PresetFileName(row.id);
    }
    const QString local = DataDirectory() + '/' + name;
    const QFileInfo localInfo(local);
    if (localInfo.exists() || localInfo.isSymLink() || stored.isEmpty() ||
        !QFileInfo::exists(stored)) {
        return local;
    }
    return stored;
}

std::optional<QByteArray> PresetStore::ReadImageFile(const PresetRow& row, std::string* error) {
    const QString path = ResolveDataFile(row);
    const QString shown = QDir::toNativeSeparators(path);
    QString why;
    const auto bytes = ReadRegularFile(path, static_cast<qint64>(kImageSize), &why);
    if (!bytes) {
        *error = "Cannot read " + shown.toStdString() + ": " + why.toStdString();
        return std::nullopt;
    }
    if (bytes->size() != static_cast<qsizetype>(kImageSize)) {
        const qint64 size = std::max<qint64>(QFileInfo(path).size(), bytes->size());
        *error = "Cannot read " + shown.toStdString() + ": it is " + std::to_string(size) +
                 " bytes, not " + std::to_string(kImageSize) + "; the file is damaged.";
        return std::nullopt;
    }
    return bytes;
}

RecallOutcome PresetStore::RecallPreset(int id, const PresetRow* shown) {
    if (!database_.OpenConnection()) {
        return RecallOutcome::DatabaseError;
    }
    RecordSet rs =
        database_.GetRecordSet("SELECT * FROM DeviceDATA WHERE ID=?", {std::int64_t{id}});
    if (!rs.Succeeded()) {
        return RecallOutcome::DatabaseError;
    }
    if (!StillAsShown(shown, rs.AtEnd() ? std::nullopt
                                        : std::optional<PresetRow>(PresetRow{
                                              id, rs.Field("NAME"), rs.Field("FILENAME"), {}}))) {
        return RecallOutcome::Changed;
    }
    RecallOutcome outcome = RecallOutcome::NoPreset;
    for (; !rs.AtEnd(); rs.MoveNext()) {
        const PresetRow row{id, rs.Field("NAME"), rs.Field("FILENAME"), {}};
        std::string error;
        const auto bytes = ReadImageFile(row, &error);
        // Nothing is read into the model (or sent) before the whole file has been checked.
        if (!bytes) {
            Report(error);
            return RecallOutcome::FileError;
        }
        const auto image = std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()),
                                     static_cast<std::size_t>(bytes->size()));
        if (const auto refusal = CheckImageRanges(image)) {
            Report("Preset " + std::to_string(id) + " was not recalled: " + *refusal + ".");
            return RecallOutcome::FileError;
        }
        // The link's own fields describe this run's connection, not the preset: a file
        // saved during an attempt must not bring back a pending flag no attempt owns.
        const std::uint8_t linkUp = params_.linkUp;
        const std::uint8_t connectPending = params_.connectPending;
        const std::int32_t connectAttempts = params_.connectAttempts;
        const SystemTime connectSentAt = params_.connectSentAt;
        // A recall never renames the processor: while linked the model keeps the name the
        // processor reports, so that neither read-back nor undo sends the saving one's name.
        const auto deviceName = params_.deviceName;
        ReadParameterImage(params_, image);
        params_.linkUp = linkUp;
        params_.connectPending = connectPending;
        params_.connectAttempts = connectAttempts;
        params_.connectSentAt = connectSentAt;
        if (linkUp != 0) {
            params_.deviceName = deviceName;
        }
        params_.recalledAt = clock_();
        SendAllParameters();
        outcome = RecallOutcome::Loaded;
    }
    Report(kTextRecallDone);
    return outcome;
}

bool PresetStore::RenamePreset(int id, std::string_view name, const PresetRow* shown) {
    const auto update = [&] {
        return database_.ExecuteSQL("UPDATE DeviceDATA SET NAME=? WHERE ID=?",
                                    {std::string(name), std::int64_t{id}}) &&
               database_.ChangedRows() > 0;
    };
    if (shown == nullptr) {
        return update();
    }
    // The check and the change under one write lock, so no other program's save comes between.
    if (!database_.Begin()) {
        return false;
    }
    if (!StillAsShown(shown, SelectRow(id)) || !update() || !database_.Commit()) {
        database_.Rollback();
        return false;
    }
    return true;
}

std::optional<PresetRow> PresetStore::SelectRow(int id) {
    RecordSet rs =
        database_.GetRecordSet("SELECT * FROM DeviceDATA WHERE ID=?", {std::int64_t{id}});
    if (rs.AtEnd()) {
        return std::nullopt;
    }
    return PresetRow{id, rs.Field("NAME"), rs.Field("FILENAME"), {}};
}

bool PresetStore::DeletePreset(int id, const PresetRow* shown) {
    // The trash receives the file's content before the row goes, and the data directory's
    // file is removed only after the commit: a crash at any point leaves either the listed
    // preset with its file, or no row and at most an unlisted file (which the next save of
    // this ID moves aside). A trash that cannot take the file keeps the preset.
    if (!database_.Begin()) {
        return false;
    }
    const std::optional<PresetRow> now = SelectRow(id);
    if (!StillAsShown(shown, now) || !now) {
        database_.Rollback();
        return false;
    }
    const QString stored = QString::fromStdString(now->fileName);
    // Only SAVE<id>.dat in the data directory is ever removed, whatever FILENAME names.
    const QString name = PresetFileName(id);
    const QString path = DataDirectory() + '/' + name;
    const QFileInfo info(path);
    const bool ownFile = LastPathComponent(stored).compare(name, Qt::CaseInsensitive) == 0 &&
                         info.isFile() && !info.isSymLink();
    PresetTrash trash(trashDirectory_);
    if (ownFile) {
        if (const QString error = trash.Prepare(path); !error.isEmpty()) {
            Report("Preset " + std::to_string(id) +
                   " was not deleted: " + QDir::toNativeSeparators(path).toStdString() +
                   " cannot be moved to the trash (" + error.toStdString() + ").");
            database_.Rollback();
            return false;
        }
    }
    StepHook("delete-prepared");
    if (!database_.ExecuteSQL("DELETE FROM DeviceDATA WHERE ID=?", {std::int64_t{id}}) ||
        database_.ChangedRows() == 0 || !database_.Commit()) {
        trash.Abandon();
        database_.Rollback();
        return false;
    }
    StepHook("delete-committed");
    if (ownFile) {
        if (const QString error = trash.Finish(); !error.isEmpty()) {
            Report("Preset " + std::to_string(id) + " was deleted, but " +
                   QDir::toNativeSeparators(path).toStdString() +
                   " could not be removed: " + error.toStdString());
        }
    }
    return true;
}

void PresetStore::SendAllParameters() {
    if (params_.linkUp == 0 || !sink_) {
        return;
    }
    sink_(AllParameterFrames(params_, eulerE_));
}

}  // namespace quorvell

// Preset operations over the database and the data files.
#include "PresetStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <limits>

#include "AllParameterFrames.h"

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

bool CanCreateFileIn(const QString& dir) {
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) {
        return false;
    }
    QTemporaryFile probe(dir + "/.quorvell-write-probe-XXXXXX");
    return probe.open();
}

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
constexpr bool kFreedesktopTrash = true;
#else
constexpr bool kFreedesktopTrash = false;
#endif
#if defined(Q_OS_ANDROID) || defined(Q_OS_IOS) || defined(Q_OS_WASM)
constexpr bool kHasTrash = false;
#else
constexpr bool kHasTrash = true;
#endif

// A freedesktop trash keeps files in <trash>/files, where <trash> is the home trash
// ".../Trash" or a volume's ".Trash-<uid>" or ".Trash/<uid>".
bool IsInsideFreedesktopTrash(const QString& path) {
    const QDir files = QFileInfo(path).dir();
    if (files.dirName() != QLatin1String("files")) {
        return false;
    }
    QDir trash = files;
    if (!trash.cdUp()) {
        return false;
    }
    const QString name = trash.dirName();
    if (name == QLatin1String("Trash") || name.startsWith(QLatin1String(".Trash-"))) {
        return true;
    }
    return trash.cdUp() && trash.dirName() == QLatin1String(".Trash");
}

// Moves `path` to the platform's trash (plain removal where there is none). Returns an
// empty text on success, else the reason.
QString MoveToTrash(const QString& path) {
    if (!kHasTrash) {
        QFile file(path);
        return file.remove() ? QString() : file.errorString();
    }
    if (kFreedesktopTrash) {
        // Without the per-user data folder Qt files the trash under the current directory.
        QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    }
    QFile file(path);
    if (!file.moveToTrash()) {
        return file.errorString();
    }
    const QString moved = file.fileName();
    if (kFreedesktopTrash && !IsInsideFreedesktopTrash(moved)) {
        // It went somewhere that is not a trash: put it back where it was.
        QFile::rename(moved, path);
        return QStringLiteral("the trash folder could not be found");
    }
    return {};
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
    if (CanCreateFileIn(executableDir)) {
        return QDir::cleanPath(QFileInfo(executableDir).absoluteFilePath());
    }
    const QString appData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (appData.isEmpty() || !QDir().mkpath(appData)) {
        return report("Cannot create the data directory " + appData + ".");
    }
    return QDir::cleanPath(appData);
}

PresetStore::PresetStore(PresetDatabase& database, DeviceParameters& params, MessageBoxes& boxes)
    : database_(database), params_(params), boxes_(boxes), clock_(LocalNow) {}

void PresetStore::SetSink(PacedSink sink, double eulerE) {
    sink_ = std::move(sink);
    eulerE_ = eulerE;
}

void PresetStore::Report(const std::string& text) {
    boxes_.Show(Message{text, {}, MessageButtons::Ok, MessageIcon::None});
}

std::vector<PresetRow> PresetStore::ListPresets() {
    std::vector<PresetRow> rows;
    // The slot bank lists on every visit; a database that could not be opened has been
    // reported once and is not retried (and re-reported) from here.
    if (!database_.IsOpen() && database_.OpenFailed()) {
        return rows;
    }
    for (RecordSet rs = database_.GetRecordSet("SELECT * FROM DeviceDATA ORDER BY ID"); !rs.AtEnd();
         rs.MoveNext()) {
        rows.push_back(
            {ParsePresetId(rs.Field("ID")).value_or(0), rs.Field("NAME"), rs.Field("FILENAME")});
    }
    return rows;
}

std::optional<int> PresetStore::SavePreset() {
    if (!database_.OpenConnection()) {
        return std::nullopt;
    }
    // The write lock is held from choosing the ID to the commit, so a second program
    // saving at the same time waits instead of taking the same ID.
    if (!database_.ExecuteSQL("BEGIN IMMEDIATE")) {
        return std::nullopt;
    }
    const auto rollback = [&] {
        database_.ExecuteSQL("ROLLBACK");
        return std::nullopt;
    };
    RecordSet rs = database_.GetRecordSet("SELECT ID FROM DeviceDATA ORDER BY ID DESC LIMIT 1");
    if (!rs.Succeeded()) {
        return rollback();
    }
    long long n = 0;
    for (; !rs.AtEnd(); rs.MoveNext()) {
        n = ParsePresetId(rs.Field("ID")).value_or(0);
    }
    n += 1;
    if (n > kMaxPresets) {
        return rollback();
    }
    const int id = static_cast<int>(n);
    const QString path = DataDirectory() + '/' + PresetFileName(id);

    // The file first, atomically; then the row. A crash before the commit leaves at most an
    // unlisted file that the next save of this ID replaces, never a row without its file.
    const ParameterImage image = WriteParameterImage(params_);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(image.data()),
                   static_cast<qint64>(image.size())) != static_cast<qint64>(image.size()) ||
        !file.commit()) {
        Report("Cannot write " + QDir::toNativeSeparators(path).toStdString() + ": " +
               file.errorString().toStdString());
        return rollback();
    }
    const std::string name = "SAVE" + std::to_string(id);
    if (!database_.ExecuteSQL(
            "INSERT INTO DeviceDATA(ID, NAME, FILENAME) VALUES(?, ?, ?)",
            {std::int64_t{id}, name, QDir::toNativeSeparators(path).toStdString()}) ||
        !database_.ExecuteSQL("COMMIT")) {
        rollback();
        QFile::remove(path);  // no row refers to it: the ID is above every stored one
        return std::nullopt;
    }
    return id;
}

QString PresetStore::ResolveDataFile(const PresetRow& row) const {
    const QString stored = QString::fromStdString(row.fileName);
    if (!stored.isEmpty() && QFileInfo::exists(stored)) {
        return stored;
    }
    // A moved installation: the same file name in today's data directory.
    QString name = LastPathComponent(stored);
    if (name.isEmpty()) {
        name = PresetFileName(row.id);
    }
    return DataDirectory() + '/' + name;
}

RecallOutcome PresetStore::RecallPreset(int id) {
    if (!database_.OpenConnection()) {
        return RecallOutcome::DatabaseError;
    }
    RecordSet rs =
        database_.GetRecordSet("SELECT * FROM DeviceDATA WHERE ID=?", {std::int64_t{id}});
    if (!rs.Succeeded()) {
        return RecallOutcome::DatabaseError;
    }
    RecallOutcome outcome = RecallOutcome::NoPreset;
    for (; !rs.AtEnd(); rs.MoveNext()) {
        const PresetRow row{id, rs.Field("NAME"), rs.Field("FILENAME")};
        const QString path = ResolveDataFile(row);
        QFile file(path);
        QByteArray bytes;
        if (file.open(QIODevice::ReadOnly)) {
            bytes = file.read(static_cast<qint64>(kImageSize));
        }
        if (!file.isOpen() || file.error() != QFileDevice::NoError) {
            // The model is untouched: nothing was read into it.
            Report("Cannot read " + QDir::toNativeSeparators(path).toStdString() + ": " +
                   file.errorString().toStdString());
            return RecallOutcome::FileError;
        }
        // The link's own fields describe this run's connection, not the preset: a file
        // saved during an attempt must not bring back a pending flag no attempt owns.
        const std::uint8_t linkUp = params_.linkUp;
        const std::uint8_t connectPending = params_.connectPending;
        const std::int32_t connectAttempts = params_.connectAttempts;
        const SystemTime connectSentAt = params_.connectSentAt;
        ReadParameterImage(params_, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                              static_cast<std::size_t>(bytes.size())));
        params_.linkUp = linkUp;
        params_.connectPending = connectPending;
        params_.connectAttempts = connectAttempts;
        params_.connectSentAt = connectSentAt;
        params_.recalledAt = clock_();
        SendAllParameters();
        outcome = RecallOutcome::Loaded;
    }
    Report(kTextRecallDone);
    return outcome;
}

bool PresetStore::RenamePreset(int id, std::string_view name) {
    return database_.ExecuteSQL("UPDATE DeviceDATA SET NAME=? WHERE ID=?",
                                {std::string(name), std::int64_t{id}}) &&
           database_.ChangedRows() > 0;
}

bool PresetStore::DeletePreset(int id) {
    RecordSet rs =
        database_.GetRecordSet("SELECT * FROM DeviceDATA WHERE ID=?", {std::int64_t{id}});
    if (rs.AtEnd()) {
        return false;
    }
    QString stored;
    for (; !rs.AtEnd(); rs.MoveNext()) {
        stored = QString::fromStdString(rs.Field("FILENAME"));
    }
    // The row goes first: a crash after it leaves an unlisted file, never a listed preset
    // whose file is gone.
    if (!database_.ExecuteSQL("DELETE FROM DeviceDATA WHERE ID=?", {std::int64_t{id}}) ||
        database_.ChangedRows() == 0) {
        return false;
    }
    // Only SAVE<id>.dat in the data directory is ever removed, whatever FILENAME names.
    const QString name = PresetFileName(id);
    if (LastPathComponent(stored).compare(name, Qt::CaseInsensitive) != 0) {
        return true;
    }
    const QString path = DataDirectory() + '/' + name;
    if (!QFileInfo(path).isFile()) {
        return true;
    }
    const QString error = MoveToTrash(path);
    if (!error.isEmpty()) {
        Report("Cannot move " + QDir::toNativeSeparators(path).toStdString() +
               " to the trash: " + error.toStdString());
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

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
// empty text on success, else the reason; `*trashed` is where the file went.
QString MoveToTrash(const QString& path, QString* trashed) {
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
    *trashed = moved;
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

void SetApplicationIdentity() {
    QCoreApplication::setOrganizationName(QString::fromLatin1(kOrganisationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationName));
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
    for (; !rs.AtEnd(); rs.MoveNext()) {
        n = ParsePresetId(rs.Field("ID")).value_or(0);
    }
    n += 1;
    if (n > kMaxPresets) {
        Report("The preset was not saved: there is no free preset ID (preset " +
               std::to_string(n - 1) + " exists; delete it first).");
        return rollback();
    }
    const int id = static_cast<int>(n);
    const QString path = DataDirectory() + '/' + PresetFileName(id);

    // No row names this ID, so a file of its name belongs to no listed preset (a crash, an
    // older database): it is kept under a new name rather than overwritten.
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        QString aside;
        for (int k = 1; aside.isEmpty() || QFileInfo::exists(aside); ++k) {
            aside = DataDirectory() + QStringLiteral("/SAVE%1-unlisted-%2.dat").arg(id).arg(k);
        }
        if (!QFile::rename(path, aside)) {
            Report("The preset was not saved: " + QDir::toNativeSeparators(path).toStdString() +
                   " belongs to no preset and could not be moved aside.");
            return rollback();
        }
        Report(QDir::toNativeSeparators(path).toStdString() +
               " belonged to no preset; it was kept as " +
               QDir::toNativeSeparators(aside).toStdString() + ".");
    }

    // The file first, atomically; then the row. A crash before the commit leaves at most an
    // unlisted file, which the next save of this ID moves aside.
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
        !database_.Commit()) {
        QFile::remove(path);  // no row refers to it: the ID is above every stored one
        return rollback();
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
            bytes = file.read(static_cast<qint64>(kImageSize) + 1);
        }
        // Nothing is read into the model (or sent) before the whole file has been checked.
        if (!file.isOpen() || file.error() != QFileDevice::NoError) {
            Report("Cannot read " + QDir::toNativeSeparators(path).toStdString() + ": " +
                   file.errorString().toStdString());
            return RecallOutcome::FileError;
        }
        if (bytes.size() != static_cast<qsizetype>(kImageSize)) {
            const qint64 size = std::max<qint64>(file.size(), bytes.size());
            Report("Cannot recall " + QDir::toNativeSeparators(path).toStdString() + ": it is " +
                   std::to_string(size) + " bytes, not " + std::to_string(kImageSize) +
                   "; the file is damaged.");
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
        ReadParameterImage(params_, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                              static_cast<std::size_t>(bytes.size())));
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

bool PresetStore::RenamePreset(int id, std::string_view name) {
    return database_.ExecuteSQL("UPDATE DeviceDATA SET NAME=? WHERE ID=?",
                                {std::string(name), std::int64_t{id}}) &&
           database_.ChangedRows() > 0;
}

bool PresetStore::DeletePreset(int id) {
    // Row and file go under one write lock: a save elsewhere waits, then takes the freed ID
    // with a file of its own. Should the COMMIT still fail, the file comes back.
    if (!database_.Begin()) {
        return false;
    }
    RecordSet rs =
        database_.GetRecordSet("SELECT * FROM DeviceDATA WHERE ID=?", {std::int64_t{id}});
    QString stored;
    for (; !rs.AtEnd(); rs.MoveNext()) {
        stored = QString::fromStdString(rs.Field("FILENAME"));
    }
    if (rs.RowCount() == 0 ||
        !database_.ExecuteSQL("DELETE FROM DeviceDATA WHERE ID=?", {std::int64_t{id}}) ||
        database_.ChangedRows() == 0) {
        database_.Rollback();
        return false;
    }
    // Only SAVE<id>.dat in the data directory is ever removed, whatever FILENAME names.
    const QString name = PresetFileName(id);
    const QString path = DataDirectory() + '/' + name;
    QString trashed;
    if (LastPathComponent(stored).compare(name, Qt::CaseInsensitive) == 0 &&
        QFileInfo(path).isFile()) {
        const QString error = MoveToTrash(path, &trashed);
        if (!error.isEmpty()) {
            Report("Cannot move " + QDir::toNativeSeparators(path).toStdString() +
                   " to the trash: " + error.toStdString());
        }
    }
    if (!database_.Commit()) {
        if (!trashed.isEmpty()) {
            QFile::rename(trashed, path);  // the row is back: so is its file
        }
        database_.Rollback();
        return false;
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

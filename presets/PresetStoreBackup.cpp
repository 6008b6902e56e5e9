// SPDX-License-Identifier: GPL-3.0-or-later
// Backing up a whole preset store into one archive, and restoring it.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <memory>

#include "PresetArchive.h"
#include "PresetStore.h"
#include "PresetTrash.h"

namespace quorvell {

std::optional<int> PresetStore::BackupPresets(const QString& archivePath) {
    const std::string shown = QDir::toNativeSeparators(archivePath).toStdString();
    int count = 0;
    const auto archive = BackupArchive(&count);
    if (!archive) {
        return std::nullopt;
    }
    QSaveFile file(archivePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(*archive) != archive->size() ||
        !file.commit()) {
        Report("Cannot write " + shown + ": " + file.errorString().toStdString());
        return std::nullopt;
    }
    return count;
}

std::optional<QByteArray> PresetStore::BackupArchive(int* count) {
    // The write lock keeps every other program's save and delete out while the rows and their
    // files are read, so the archive is one consistent state of the store.
    if (!database_.Begin()) {
        return std::nullopt;
    }
    const auto refuse = [&](const std::string& why) {
        database_.Rollback();
        Report("The presets were not backed up: " + why);
        return std::nullopt;
    };
    const auto rows = TryListPresets();
    if (!rows) {
        database_.Rollback();
        return std::nullopt;
    }
    std::vector<ArchivedPreset> presets;
    for (const PresetRow& row : *rows) {
        std::string error;
        const auto bytes = ReadImageFile(row, &error);
        if (!bytes) {
            return refuse(error);
        }
        ArchivedPreset preset{row.id, row.name, *bytes};
        if (const auto why = CheckArchivedPreset(preset)) {
            return refuse(*why + " (it could not be restored).");
        }
        presets.push_back(std::move(preset));
    }
    database_.Rollback();
    std::string error;
    auto archive = WritePresetArchive(presets, &error);
    if (!archive) {
        Report("The presets were not backed up: " + error + ".");
        return std::nullopt;
    }
    *count = static_cast<int>(presets.size());
    return archive;
}

std::optional<int> PresetStore::RestorePresets(const QString& archivePath, bool replace) {
    const std::string shown = QDir::toNativeSeparators(archivePath).toStdString();
    if (DataDirectory().isEmpty()) {
        Report("The presets were not restored: there is no data directory (see HELP).");
        return std::nullopt;
    }
    // The archive is read and checked whole before the store is touched.
    const QFileInfo info(archivePath);
    if (info.isSymLink() || !info.isFile()) {
        Report("Cannot read " + shown + ": it is not a regular file.");
        return std::nullopt;
    }
    QFile file(archivePath);
    if (!file.open(QIODevice::ReadOnly)) {
        Report("Cannot read " + shown + ": " + file.errorString().toStdString());
        return std::nullopt;
    }
    return RestoreArchive(file.read(kMaxArchiveBytes + 1), shown, replace);
}

std::optional<int> PresetStore::RestoreArchive(QByteArrayView bytes, const std::string& source,
                                               bool replace) {
    if (DataDirectory().isEmpty()) {
        Report("The presets were not restored: there is no data directory (see HELP).");
        return std::nullopt;
    }
    std::string error;
    const auto presets = ReadPresetArchive(bytes, &error);
    if (!presets) {
        Report(source + " was not restored: " + error + ".");
        return std::nullopt;
    }

    if (!database_.Begin(true)) {
        return std::nullopt;
    }
    const auto rows = TryListPresets();
    if (!rows) {
        database_.Rollback();
        return std::nullopt;
    }
    if (!rows->empty()) {
        if (!replace) {
            database_.Rollback();
            Report("The presets were not restored: the store holds " +
                   std::to_string(rows->size()) + " presets (replace them to restore).");
            return std::nullopt;
        }
        // The replaced presets' files go to the trash as a delete would send them; any trash
        // failure keeps the whole store as it is.
        std::vector<std::unique_ptr<PresetTrash>> trashed;
        for (const PresetRow& row : *rows) {
            const QString path = DataDirectory() + '/' + PresetFileName(row.id);
            const QFileInfo own(path);
            if (row.id < 1 || !own.isFile() || own.isSymLink()) {
                continue;
            }
            auto trash = std::make_unique<PresetTrash>(trashDirectory_);
            if (const QString why = trash->Prepare(path); !why.isEmpty()) {
                for (auto& t : trashed) {
                    t->Abandon();
                }
                trash->Abandon();
                database_.Rollback();
                Report("The presets were not restored: " +
                       QDir::toNativeSeparators(path).toStdString() +
                       " cannot be moved to the trash (" + why.toStdString() + ").");
                return std::nullopt;
            }
            trashed.push_back(std::move(trash));
        }
        if (!database_.ExecuteSQL("DELETE FROM DeviceDATA") || !database_.Commit()) {
            for (auto& t : trashed) {
                t->Abandon();
            }
            database_.Rollback();
            return std::nullopt;
        }
        StepHook("restore-cleared");
        for (auto& t : trashed) {
            t->Finish();
        }
        if (!database_.Begin(true)) {
            return std::nullopt;
        }
        const auto now = TryListPresets();
        if (!now || !now->empty()) {
            database_.Rollback();
            Report(
                "The presets were not restored: another program saved a preset meanwhile; "
                "the replaced presets are in the trash.");
            return std::nullopt;
        }
    }

    // Files first (each atomically), then every row in one commit: a crash before it leaves
    // an empty store with unlisted files, which the next save of an ID moves aside.
    std::vector<QString> written;
    const auto undo = [&] {
        for (const QString& path : written) {
            QFile::remove(path);
        }
        database_.Rollback();
        return std::nullopt;
    };
    for (const ArchivedPreset& preset : *presets) {
        const QString path = DataDirectory() + '/' + PresetFileName(preset.id);
        if (!MoveUnlistedAside(preset.id, "The presets were not restored: ") ||
            !WriteDataFile(path, preset.image)) {
            return undo();
        }
        written.push_back(path);
    }
    StepHook("restore-files-written");
    for (const ArchivedPreset& preset : *presets) {
        const QString path = DataDirectory() + '/' + PresetFileName(preset.id);
        if (!database_.ExecuteSQL("INSERT INTO DeviceDATA(ID, NAME, FILENAME) VALUES(?, ?, ?)",
                                  {std::int64_t{preset.id}, preset.name,
                                   QDir::toNativeSeparators(path).toStdString()})) {
            return undo();
        }
    }
    if (!database_.Commit()) {
        return undo();
    }
    StepHook("restore-committed");
    return static_cast<int>(presets->size());
}

}  // namespace quorvell

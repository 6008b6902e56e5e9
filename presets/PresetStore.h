// SPDX-License-Identifier: GPL-3.0-or-later
// The preset store: one DeviceDATA row plus one 768-byte data file "SAVE<n>.dat" per preset,
// both in the data directory. List, save, recall (with the paced send), rename and delete.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DeviceParameters.h"
#include "MessageBoxes.h"
#include "PacedFrame.h"
#include "PresetDatabase.h"

namespace quorvell {

inline constexpr char kTextRecallDone[] = "Recall sucessfully!";

struct PresetRow {
    int id = 0;
    std::string name;      // UTF-8
    std::string fileName;  // the full path stored when the preset was saved
    // The data file as it was when the row was listed (PresetStore::FileIdentity), so that a
    // front end can tell that another program has replaced the preset since.
    std::string fileIdentity;
};

enum class RecallOutcome {
    Loaded,         // the file was read into the model (and sent while the link is up)
    NoPreset,       // no row has that ID; only the confirmation was shown
    FileError,      // the data file could not be read; reported, the model is unchanged
    DatabaseError,  // the database could not be opened or queried; reported
    Changed,        // the row shown is no longer the store's; reported, nothing read or sent
};

// The ID in a slot label's text: its leading decimal digits ("12" of "12abc"); nothing when
// it starts with no digit or the number is out of int range.
std::optional<int> ParsePresetId(std::string_view text);

// "SAVE<n>.dat", the only file names the store writes, reads by fallback, or trashes.
QString PresetFileName(int id);

// The organisation and application names both programs give Qt before anything asks for a
// standard path, so that QStandardPaths::AppDataLocation is the same folder for both.
inline constexpr char kOrganisationName[] = "Quorvell";
inline constexpr char kApplicationName[] = "Quorvell";
void SetApplicationIdentity();

// The folder a portable (unpacked) copy keeps its presets in when Quorvel.mdb lies there: the
// program's own folder in a build configured with QUORVELL_PORTABLE, else none, so that an
// installed program never takes /usr/bin for a data folder.
QString PortableDirectory();

// Where presets live: `overrideDir` (--data-dir) when given, created if missing; else
// `executableDir` when Quorvel.mdb is already there (a portable install); else
// QStandardPaths::AppDataLocation, created if missing. Returns an empty text when no
// directory can be had, after reporting why through `boxes`.
QString ResolveDataDirectory(const QString& overrideDir, const QString& executableDir,
                             MessageBoxes& boxes);

// Receives the 25-frame recall sequence; in the panel this is DeviceLink::SendPaced.
using PacedSink = std::function<void(PacedSequence)>;
// The local time a recall stamps into recalledAt.
using PresetClock = std::function<SystemTime()>;

class PresetStore {
public:
    // `params` is the process-wide model and `database` the one database object; both must
    // outlive the store. Data files live in database.DataDirectory(). Messages go through
    // the database's boxes, which hold them back while a transaction is open.
    PresetStore(PresetDatabase& database, DeviceParameters& params);

    // Where recall sends its frames while linkUp; without a sink nothing is sent.
    // `eulerE` is the start-up constant the limiter frames use (ComputeEulerE()).
    void SetSink(PacedSink sink, double eulerE);
    void SetClock(PresetClock clock) { clock_ = std::move(clock); }

    // Every row in ascending ID order (may hold more than kMaxPresets rows if the table
    // was edited elsewhere), each with its file's identity. Silent and empty when the database
    // could not be opened.
    std::vector<PresetRow> ListPresets();
    // The same, but nothing (after the report) when the database cannot be read, so that a
    // damaged store never lists as an empty one.
    std::optional<std::vector<PresetRow>> TryListPresets();

    // Stores the model's image as preset highest-ID + 1: the data file is written
    // atomically first, then the row is inserted, both inside one write transaction, so a
    // crash never leaves a row without its file. A file of that name that no row lists is
    // moved aside (SAVE<n>-unlisted-<k>.dat) and the move is reported, never overwritten.
    // Returns the new ID; nothing after a refusal, which is always reported (no data
    // directory, no free ID, the database busy or failing, the file not written).
    std::optional<int> SavePreset();

    // Reads the preset's file over the image, keeps the link's own fields (linkUp,
    // connectPending, connectAttempts, connectSentAt) as they are, stamps recalledAt, sends the
    // 25-frame sequence while linkUp and shows "Recall sucessfully!" (also when no row
    // matched). A FILENAME that no longer exists is looked up by its file name in the data
    // directory. A file that is not exactly 768 bytes is refused with its name and size
    // before anything is changed or sent.
    //
    // RecallPreset, RenamePreset and DeletePreset given `shown` (the row as a list gave it to a
    // front end) act only while the store still holds that row: same name, stored file name and
    // file identity. Otherwise another program has deleted, renamed or replaced the preset since
    // (a new save may have taken its ID); the action is refused with a message and does nothing.
    RecallOutcome RecallPreset(int id, const PresetRow* shown = nullptr);

    // Sets the preset's NAME (any text; bound, never spliced). Returns whether a row changed.
    bool RenamePreset(int id, std::string_view name, const PresetRow* shown = nullptr);

    // Removes the row and moves the data file to the platform's trash (plain removal where
    // there is none): the trash takes the file's content before the commit, the data
    // directory's file goes after it. A trash that cannot take the file keeps the preset and
    // says why. Only the file SAVE<id>.dat inside the data directory is ever touched,
    // whatever FILENAME says. Returns whether a row was removed.
    bool DeletePreset(int id, const PresetRow* shown = nullptr);

    // Writes every preset (ID, name, image) into the archive `archivePath`, atomically.
    // Refuses, with the reason, when a preset could not be restored from it (an ID above
    // kMaxPresets, a name outside the rule, a damaged or out-of-range image): a backup that
    // cannot be restored is never written. Returns the number of presets written.
    std::optional<int> BackupPresets(const QString& archivePath);
    // The same archive as bytes, with the number of presets in `*count`.
    std::optional<QByteArray> BackupArchive(int* count);
    // Replaces the store's content with the archive's. The archive is read and checked whole
    // first; any defect refuses it with nothing changed. A store holding presets is refused
    // unless `replace`; then its presets' files go to the trash and its rows are removed in
    // one commit, before the archive's files are written and its rows inserted in a second
    // one, so a crash leaves the old store, an empty one, or the restored one. Returns the
    // number of presets restored.
    std::optional<int> RestorePresets(const QString& archivePath, bool replace);
    // The same from the archive's bytes; `source` names them in messages.
    std::optional<int> RestoreArchive(QByteArrayView bytes, const std::string& source,
                                      bool replace);

    // Sends AllParameterFrames of the model through the sink, only while linkUp.
    void SendAllParameters();

    // The data file a recall of `row` reads: FILENAME's file name in the data directory when
    // that exists, else FILENAME itself when it exists (presets saved elsewhere by path).
    QString ResolveDataFile(const PresetRow& row) const;
    // The 768 bytes of that file; nothing, with the message in `*error`, when it is not a
    // regular file (links, pipes and devices are refused) or not exactly 768 bytes.
    std::optional<QByteArray> ReadImageFile(const PresetRow& row, std::string* error);
    // The identity of the file ResolveDataFile(row) names: device, inode, size and modification
    // time (to the nanosecond where the system keeps it); empty when there is no such file. A
    // file written again, even with the same bytes, has another identity.
    std::string FileIdentity(const PresetRow& row) const;

    // The freedesktop trash deletes use (".../Trash"); empty is the user's own.
    void SetTrashDirectory(QString dir) { trashDirectory_ = std::move(dir); }
    // Called with the name of each step at which a crash must leave the store consistent
    // ("save-file-written", "delete-prepared", "delete-committed", ...); for tests.
    void SetStepHook(std::function<void(std::string_view)> hook) { stepHook_ = std::move(hook); }
    const QString& DataDirectory() const { return database_.DataDirectory(); }

private:
    void Report(const std::string& text);
    // True when `shown` is absent or matches `now` (the store's row of that ID, or nothing);
    // else reports that the preset changed and returns false.
    bool StillAsShown(const PresetRow* shown, const std::optional<PresetRow>& now);
    // The row with that ID (without its file's identity), or nothing.
    std::optional<PresetRow> SelectRow(int id);
    // Moves a SAVE<id>.dat that no row lists out of the way (SAVE<id>-unlisted-<k>.dat) and
    // says so; false, after the report, when it could not be moved.
    bool MoveUnlistedAside(int id, const std::string& refusal);
    // Writes `bytes` to `path` atomically; false after the report.
    bool WriteDataFile(const QString& path, QByteArrayView bytes);
    void StepHook(std::string_view step) {
        if (stepHook_) {
            stepHook_(step);
        }
    }

    PresetDatabase& database_;
    DeviceParameters& params_;
    PacedSink sink_;
    double eulerE_ = 0.0;
    PresetClock clock_;
    QString trashDirectory_;
    std::function<void(std::string_view)> stepHook_;
};

}  // namespace quorvell

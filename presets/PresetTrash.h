// SPDX-License-Identifier: GPL-3.0-or-later
// Moving a deleted preset's data file to the user's trash in two steps, so that the slow,
// failure-prone part (finding and claiming a place in the trash) happens before the row goes.
#pragma once

#include <QString>
#include <QtGlobal>

namespace quorvell {

class PresetTrash {
public:
    // `trashDirectory` is the freedesktop home trash (".../Trash"); empty uses
    // $XDG_DATA_HOME/Trash (the per-user data folder's). Unused where the platform has its own
    // trash or none.
    explicit PresetTrash(QString trashDirectory = {});
    ~PresetTrash();
    PresetTrash(const PresetTrash&) = delete;
    PresetTrash& operator=(const PresetTrash&) = delete;

    // Claims a name in the trash for `path` (its .trashinfo record, created exclusively) and
    // puts a link to the file (a copy across file systems) under it; `path` itself stays.
    // Empty text on success, else the reason; the number of names tried is bounded and any
    // failure other than "name taken" ends it.
    QString Prepare(const QString& path);
    // Removes `path`, whose content the trash now holds, unless it has been replaced by
    // another file since Prepare. Empty text on success, else the reason.
    QString Finish();
    // Gives up a prepared claim (the row removal failed): the trash's link and record go,
    // the file stays.
    void Abandon();

private:
    QString trash_;
    QString path_;
    QString infoFile_;
    QString target_;
    quint64 device_ = 0;
    quint64 inode_ = 0;
};

}  // namespace quorvell

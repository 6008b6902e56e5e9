// SPDX-License-Identifier: GPL-3.0-or-later
// The few file-system calls Qt does not offer: a status that does not follow links, a file
// created only if absent, and a second hard link to a file. The preset store and its trash
// use them to tell one file from another of the same name and to never overwrite.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace quorvell::platform {

// What identifies one file: its device and inode where the system has them (0 elsewhere),
// its size and its modification and creation times in nanoseconds (0 where unknown).
struct FileStatus {
    bool regular = false;  // a plain file, not a link, folder or device
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 createdNs = 0;
};

// The status of `path` itself (a symbolic link is not followed); nothing if it does not exist.
std::optional<FileStatus> StatusOf(const QString& path);

enum class CreateOutcome { Created, Exists, Failed };

// Creates `path` only if no file of that name exists, readable by its owner alone, and writes
// `bytes` to it. On Failed, `error` says why and no file is left behind.
CreateOutcome CreateExclusive(const QString& path, const QByteArray& bytes, QString* error);

enum class LinkOutcome { Linked, Exists, Failed };

// Gives the file `from` a second name `to` (the same data, not a copy); Exists when `to` is
// taken, Failed (with `error`) where the system cannot, for example across file systems.
LinkOutcome HardLink(const QString& from, const QString& to, QString* error);

// Removes the name `path`; false with `error` when it cannot.
bool RemoveName(const QString& path, QString* error);

}  // namespace quorvell::platform

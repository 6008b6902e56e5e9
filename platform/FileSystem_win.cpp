// SPDX-License-Identifier: GPL-3.0-or-later
// The file-system calls on Windows, through Qt: no inode and no hard link here, so a file is
// told apart by its size and times, and a second name is always a copy.
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include "FileSystem.h"

namespace quorvell::platform {

std::optional<FileStatus> StatusOf(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return std::nullopt;
    }
    FileStatus status;
    status.regular = info.isFile() && !info.isSymLink();
    status.size = info.size();
    status.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1'000'000;
    status.createdNs = info.birthTime().toMSecsSinceEpoch() * 1'000'000;
    return status;
}

CreateOutcome CreateExclusive(const QString& path, const QByteArray& bytes, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        if (QFileInfo::exists(path)) {
            return CreateOutcome::Exists;
        }
        *error = file.errorString();
        return CreateOutcome::Failed;
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        *error = file.errorString();
        file.close();
        file.remove();
        return CreateOutcome::Failed;
    }
    return CreateOutcome::Created;
}

LinkOutcome HardLink(const QString&, const QString& to, QString* error) {
    if (QFileInfo::exists(to)) {
        return LinkOutcome::Exists;
    }
    *error = QStringLiteral("hard links are not used on this system");
    return LinkOutcome::Failed;
}

bool RemoveName(const QString& path, QString* error) {
    QFile file(path);
    if (file.remove()) {
        return true;
    }
    *error = file.errorString();
    return false;
}

}  // namespace quorvell::platform

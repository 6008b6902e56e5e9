// SPDX-License-Identifier: GPL-3.0-or-later
// The freedesktop home trash, written directly: claim a record, then move the file.
#include "PresetTrash.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include "FileSystem.h"

namespace quorvell {
namespace {

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
constexpr bool kFreedesktopTrash = true;
#else
constexpr bool kFreedesktopTrash = false;
#endif

// Names tried for one file in the trash: numbered ones, then ones with the time.
constexpr int kNumberedTrashNames = 100;
constexpr int kMaxTrashNames = 200;

}  // namespace

PresetTrash::PresetTrash(QString trashDirectory) : trash_(std::move(trashDirectory)) {
    if (trash_.isEmpty()) {
        trash_ = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                 QStringLiteral("/Trash");
    }
}

PresetTrash::~PresetTrash() = default;

QString PresetTrash::Prepare(const QString& path) {
    path_ = path;
    infoFile_.clear();
    target_.clear();
    if constexpr (kFreedesktopTrash) {
        const QString files = trash_ + QStringLiteral("/files");
        const QString info = trash_ + QStringLiteral("/info");
        if (!QDir().mkpath(files) || !QDir().mkpath(info) || !QFileInfo(files).isDir() ||
            !QFileInfo(info).isDir()) {
            return QStringLiteral("the trash folder %1 cannot be used")
                .arg(QDir::toNativeSeparators(trash_));
        }
        const QString base = QFileInfo(path).completeBaseName();
        const QString suffix = QFileInfo(path).suffix();
        const QByteArray record =
            "[Trash Info]\nPath=" + QUrl::toPercentEncoding(path, "/") + "\nDeletionDate=" +
            QDateTime::currentDateTime().toString(Qt::ISODate).left(19).toUtf8() + '\n';
        for (int k = 0; k < kMaxTrashNames; ++k) {
            // SAVE3.dat, SAVE3.1.dat … SAVE3.99.dat, then names with the time, so that a
            // trash that already holds a hundred deleted SAVE3.dat still takes another.
            const QString name = k == 0 ? QFileInfo(path).fileName()
                                 : k < kNumberedTrashNames
                                     ? QStringLiteral("%1.%2.%3").arg(base).arg(k).arg(suffix)
                                     : QStringLiteral("%1.%2-%3.%4")
                                           .arg(base)
                                           .arg(QDateTime::currentMSecsSinceEpoch())
                                           .arg(k)
                                           .arg(suffix);
            const QString infoPath = info + '/' + name + QStringLiteral(".trashinfo");
            QString error;
            const platform::CreateOutcome created =
                platform::CreateExclusive(infoPath, record, &error);
            if (created == platform::CreateOutcome::Exists) {
                continue;
            }
            if (created == platform::CreateOutcome::Failed) {
                return QStringLiteral("cannot write to the trash folder %1: %2")
                    .arg(QDir::toNativeSeparators(info), error);
            }
            // The trash gets its own link to (or, across file systems, a copy of) the data
            // now; the data directory's name goes only once the row removal is committed.
            const QString target = files + '/' + name;
            const std::optional<platform::FileStatus> seen = platform::StatusOf(path);
            if (!seen || !seen->regular) {
                QFile::remove(infoPath);
                return QStringLiteral("it is not a regular file");
            }
            const platform::LinkOutcome linked = platform::HardLink(path, target, &error);
            if (linked == platform::LinkOutcome::Exists) {
                QFile::remove(infoPath);  // a file without its record: leave it alone
                continue;
            }
            if (linked == platform::LinkOutcome::Failed && !QFile::copy(path, target)) {
                QFile::remove(infoPath);
                return QStringLiteral("cannot put it into the trash folder %1: %2")
                    .arg(QDir::toNativeSeparators(files), error);
            }
            device_ = seen->device;
            inode_ = seen->inode;
            infoFile_ = infoPath;
            target_ = target;
            return {};
        }
        return QStringLiteral("the trash folder %1 has no free name for %2")
            .arg(QDir::toNativeSeparators(trash_), QFileInfo(path).fileName());
    }
    return {};
}

QString PresetTrash::Finish() {
    if constexpr (kFreedesktopTrash) {
        if (target_.isEmpty()) {
            return QStringLiteral("nothing was prepared");
        }
        infoFile_.clear();
        target_.clear();
        // Only the very file that went to the trash is removed: once the row is gone, a save
        // elsewhere may already have put a new file of this name in place.
        const std::optional<platform::FileStatus> now = platform::StatusOf(path_);
        if (!now || now->device != device_ || now->inode != inode_) {
            return {};
        }
        QString error;
        platform::RemoveName(path_, &error);
        return error;
    } else {
        QFile file(path_);
        const bool done = file.moveToTrash() || file.remove();
        return done ? QString() : file.errorString();
    }
}

void PresetTrash::Abandon() {
    if (!target_.isEmpty()) {
        QFile::remove(target_);
    }
    if (!infoFile_.isEmpty()) {
        QFile::remove(infoFile_);
        infoFile_.clear();
    }
    target_.clear();
}

}  // namespace quorvell

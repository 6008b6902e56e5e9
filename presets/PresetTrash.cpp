// SPDX-License-Identifier: GPL-3.0-or-later
// The freedesktop home trash, written directly: claim a record, then move the file.
#include "PresetTrash.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <cerrno>
#include <cstring>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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
            const QByteArray encoded = QFile::encodeName(infoPath);
            const int fd =
                ::open(encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0) {
                if (errno == EEXIST) {
                    continue;
                }
                return QStringLiteral("cannot write to the trash folder %1: %2")
                    .arg(QDir::toNativeSeparators(info), QString::fromLocal8Bit(strerror(errno)));
            }
            const bool written = ::write(fd, record.constData(),
                                         static_cast<std::size_t>(record.size())) == record.size();
            const bool closed = ::close(fd) == 0;
            if (!written || !closed) {
                QFile::remove(infoPath);
                return QStringLiteral("cannot write to the trash folder %1")
                    .arg(QDir::toNativeSeparators(info));
            }
            // The trash gets its own link to (or, across file systems, a copy of) the data
            // now; the data directory's name goes only once the row removal is committed.
            const QString target = files + '/' + name;
            const QByteArray from = QFile::encodeName(path);
            const QByteArray to = QFile::encodeName(target);
            struct stat seen {};
            if (::lstat(from.constData(), &seen) != 0 || !S_ISREG(seen.st_mode)) {
                QFile::remove(infoPath);
                return QStringLiteral("it is not a regular file");
            }
            if (::link(from.constData(), to.constData()) != 0) {
                const int linkError = errno;
                if (linkError == EEXIST) {
                    QFile::remove(infoPath);  // a file without its record: leave it alone
                    continue;
                }
                if (!QFile::copy(path, target)) {
                    QFile::remove(infoPath);
                    return QStringLiteral("cannot put it into the trash folder %1: %2")
                        .arg(QDir::toNativeSeparators(files),
                             QString::fromLocal8Bit(strerror(linkError)));
                }
            }
            device_ = static_cast<quint64>(seen.st_dev);
            inode_ = static_cast<quint64>(seen.st_ino);
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
        const QByteArray from = QFile::encodeName(path_);
        struct stat now {};
        if (::lstat(from.constData(), &now) != 0 || static_cast<quint64>(now.st_dev) != device_ ||
            static_cast<quint64>(now.st_ino) != inode_) {
            return {};
        }
        if (::unlink(from.constData()) != 0) {
            return QString::fromLocal8Bit(strerror(errno));
        }
        return {};
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

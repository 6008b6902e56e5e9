// SPDX-License-Identifier: GPL-3.0-or-later
// The file-system calls on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

#include "FileSystem.h"

namespace quorvell::platform {
namespace {

QString ErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

qint64 Nanoseconds(const struct timespec& t) {
    return static_cast<qint64>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

}  // namespace

std::optional<FileStatus> StatusOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return std::nullopt;
    }
    FileStatus status;
    status.regular = S_ISREG(st.st_mode);
    status.device = static_cast<quint64>(st.st_dev);
    status.inode = static_cast<quint64>(st.st_ino);
    status.size = static_cast<qint64>(st.st_size);
#if defined(__APPLE__)
    status.modifiedNs = Nanoseconds(st.st_mtimespec);
#else
    status.modifiedNs = Nanoseconds(st.st_mtim);
#endif
    return status;
}

CreateOutcome CreateExclusive(const QString& path, const QByteArray& bytes, QString* error) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == EEXIST) {
            return CreateOutcome::Exists;
        }
        *error = ErrorText(errno);
        return CreateOutcome::Failed;
    }
    const ssize_t written = ::write(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    if (written != bytes.size() || !closed) {
        *error = written < 0 ? ErrorText(writeError) : QStringLiteral("short write");
        ::unlink(name.constData());
        return CreateOutcome::Failed;
    }
    return CreateOutcome::Created;
}

LinkOutcome HardLink(const QString& from, const QString& to, QString* error) {
    if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0) {
        return LinkOutcome::Linked;
    }
    if (errno == EEXIST) {
        return LinkOutcome::Exists;
    }
    *error = ErrorText(errno);
    return LinkOutcome::Failed;
}

bool RemoveName(const QString& path, QString* error) {
    if (::unlink(QFile::encodeName(path).constData()) == 0) {
        return true;
    }
    *error = ErrorText(errno);
    return false;
}

}  // namespace quorvell::platform

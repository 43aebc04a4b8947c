#include "filesync.h"

#include <QFile>
#include <QFileDevice>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileSync {

Handle duplicate(QFileDevice &file)
{
    const int fd = file.handle();
    if (fd < 0)
        return noHandle;
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    return copy >= 0 ? Handle(copy) : noHandle;
}

void close(Handle handle)
{
    if (handle >= 0)
        ::close(int(handle));
}

bool sync(Handle handle)
{
    return handle >= 0 && ::fsync(int(handle)) == 0;
}

bool syncPath(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced && syncFolderOf(path);
}

bool syncFolderOf(const QString &path)
{
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                          O_RDONLY | O_CLOEXEC | O_DIRECTORY);
    if (fd < 0)
        return false;
    // Some file systems refuse to sync a folder; what they keep of names is
    // then beyond reach, and the file itself was synced.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return synced;
}

bool stillAt(Handle handle, const QString &path)
{
    struct stat open {};
    if (handle < 0 || ::fstat(int(handle), &open) != 0)
        return true;
    // Removed, also when a file of the same name took its place.
    if (open.st_nlink == 0)
        return false;
    struct stat named {};
    if (::stat(QFile::encodeName(path).constData(), &named) != 0)
        return !(errno == ENOENT || errno == ENOTDIR);
    return open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

bool replace(const QString &from, const QString &to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

} // namespace FileSync

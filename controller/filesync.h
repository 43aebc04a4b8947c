#ifndef FILESYNC_H
#define FILESYNC_H

#include <QString>
#include <QtGlobal>

class QFileDevice;

// What the journal needs of the system beyond QFile: a handle of its own on an
// open file, through which another thread puts the file on the disk while the
// first goes on appending to it, and whether a path still names that file.
namespace FileSync {

// A file descriptor on Unix, a HANDLE on Windows.
using Handle = qintptr;
constexpr Handle noHandle = -1;

// A second handle on the file open in `file`, valid until close(); noHandle
// when none could be had.
Handle duplicate(QFileDevice &file);
void close(Handle handle);

// Asks the system to put what was written to the file on the disk itself;
// true when it says so.
bool sync(Handle handle);
// The same for a file written and closed, named by its path, and on Unix also
// for the folder that holds the name: a new name must reach the disk too.
bool syncPath(const QString &path);
bool syncFolderOf(const QString &path);

// False when `path` no longer names the file of the handle: the file was
// removed, renamed or replaced by another, or its folder is gone. True also
// when the system cannot tell (an error other than "no such file").
bool stillAt(Handle handle, const QString &path);

// Renames `from` to `to`, replacing a file at `to` in one step.
bool replace(const QString &from, const QString &to);

} // namespace FileSync

#endif // FILESYNC_H

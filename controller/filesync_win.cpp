#include "filesync.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>

#include <windows.h>

namespace {

const wchar_t *nativeName(const QString &path)
{
    return reinterpret_cast<const wchar_t *>(path.utf16());
}

HANDLE toHandle(FileSync::Handle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// A second handle with write access, which FlushFileBuffers needs. Every kind
// of sharing is allowed so that it adds no limit of its own; QFile itself does
// not share deletion, so the file cannot be removed or renamed while open.
HANDLE openForSync(const QString &path)
{
    const QString native = QDir::toNativeSeparators(path);
    return ::CreateFileW(nativeName(native), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

namespace FileSync {

// QFileDevice gives no handle for a file it opened by name on every build, so
// the second one is opened by name: the file open there, since an open file
// cannot be renamed or removed under QFile.
Handle duplicate(QFileDevice &file)
{
    const HANDLE handle = openForSync(file.fileName());
    return handle == INVALID_HANDLE_VALUE ? noHandle : reinterpret_cast<Handle>(handle);
}

void close(Handle handle)
{
    if (handle != noHandle)
        ::CloseHandle(toHandle(handle));
}

bool sync(Handle handle)
{
    return handle != noHandle && ::FlushFileBuffers(toHandle(handle)) != 0;
}

bool syncPath(const QString &path)
{
    const HANDLE handle = openForSync(path);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = ::FlushFileBuffers(handle) != 0;
    ::CloseHandle(handle);
    return flushed;
}

// NTFS keeps names in its own log; a folder cannot be flushed like a file.
bool syncFolderOf(const QString &)
{
    return true;
}

bool stillAt(Handle handle, const QString &path)
{
    BY_HANDLE_FILE_INFORMATION open;
    if (handle == noHandle || !::GetFileInformationByHandle(toHandle(handle), &open))
        return true;
    FILE_STANDARD_INFO standard;
    if (::GetFileInformationByHandleEx(toHandle(handle), FileStandardInfo, &standard, sizeof standard)
            && standard.DeletePending)
        return false;
    if (open.nNumberOfLinks == 0)
        return false;
    const QString native = QDir::toNativeSeparators(path);
    const HANDLE named = ::CreateFileW(nativeName(native), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return !(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool got = ::GetFileInformationByHandle(named, &info) != 0;
    ::CloseHandle(named);
    if (!got)
        return true;
    return open.dwVolumeSerialNumber == info.dwVolumeSerialNumber && open.nFileIndexHigh == info.nFileIndexHigh
            && open.nFileIndexLow == info.nFileIndexLow;
}

bool replace(const QString &from, const QString &to)
{
    const QString nativeFrom = QDir::toNativeSeparators(from);
    const QString nativeTo = QDir::toNativeSeparators(to);
    // Without MOVEFILE_WRITE_THROUGH: the caller syncs off its own thread.
    return ::MoveFileExW(nativeName(nativeFrom), nativeName(nativeTo), MOVEFILE_REPLACE_EXISTING) != 0;
}

} // namespace FileSync

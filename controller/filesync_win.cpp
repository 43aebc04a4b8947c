#include "filesync.h"

#include <QDir>
#include <QFileDevice>

#include <windows.h>

// The file's own handle is not reachable through QFileDevice on every build, so
// a second one is opened by name: the system's cache is per file, so flushing
// through any handle with write access puts every writer's data on the disk.
bool syncFileToDisk(QFileDevice &file)
{
    const QString path = QDir::toNativeSeparators(file.fileName());
    HANDLE handle = ::CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = ::FlushFileBuffers(handle) != 0;
    ::CloseHandle(handle);
    return flushed;
}

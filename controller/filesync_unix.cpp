#include "filesync.h"

#include <QFileDevice>

#include <unistd.h>

bool syncFileToDisk(QFileDevice &file)
{
    const int fd = file.handle();
    return fd >= 0 && ::fsync(fd) == 0;
}

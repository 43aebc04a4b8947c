#ifndef FILESYNC_H
#define FILESYNC_H

class QFileDevice;

// Asks the operating system to put what was written to the open file on the
// disk itself, so that a power cut does not take it; true when it says so.
bool syncFileToDisk(QFileDevice &file);

#endif // FILESYNC_H

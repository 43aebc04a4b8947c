#ifndef WHOLEFILE_H
#define WHOLEFILE_H

#include <QString>

#include <functional>

class QIODevice;

// Writes a document whole or not at all, for the report and the archive's
// trend alike: an existing file stays as it was until the new one is complete
// on disk, and a device, FIFO, socket or folder in the target's place is
// never replaced by a file.
namespace WholeFile {

// True when nothing is at path, or a regular file (a link is followed).
bool regularOrAbsent(const QString &path);
// Why a target that is not a regular file is refused.
QString notRegular(const QString &path);

// fill writes the document into the device it is given; false (with a reason,
// or none to take the device's) leaves the target as it was. false and
// "path: reason" in *error on any fault.
bool save(const QString &path, const std::function<bool(QIODevice *, QString *)> &fill, QString *error);

} // namespace WholeFile

#endif // WHOLEFILE_H

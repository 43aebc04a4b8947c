#include "wholefile.h"

#include <QFileInfo>
#include <QSaveFile>

namespace WholeFile {

bool regularOrAbsent(const QString &path)
{
    const QFileInfo info(path);
    return !info.exists() || info.isFile();
}

QString notRegular(const QString &path)
{
    return QStringLiteral("%1: не обычный файл (устройство, канал, сокет или папка); отчёт не пишется на его место")
        .arg(path);
}

// QSaveFile renames its file over the target, so a target swapped for a
// device or a FIFO while the document was written is looked at again first.
bool save(const QString &path, const std::function<bool(QIODevice *, QString *)> &fill, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("%1: не записывается: %2").arg(path, file.errorString());
        return false;
    }
    QString reason;
    if (!fill(&file, &reason)) {
        *error = QStringLiteral("%1: %2").arg(path, reason.isEmpty() ? file.errorString() : reason);
        file.cancelWriting();
        return false;
    }
    // Flushed here: commit() in Qt 5 drops the error of its own last flush and
    // would rename a file cut short (a full disk) over the target as a success.
    // The system's reason is lost on the way by then.
    if (!file.flush()) {
        *error = QStringLiteral("%1: записано не всё, на диске нет места").arg(path);
        file.cancelWriting();
        return false;
    }
    if (!regularOrAbsent(path)) {
        file.cancelWriting();
        *error = notRegular(path);
        return false;
    }
    if (!file.commit()) {
        *error = QStringLiteral("%1: не записывается: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace WholeFile

#include "journal.h"
#include "tervalo.h"

#include "logger.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextCodec>
#include <QUrl>

#include <cmath>

float lastKeptLength = -1.0f;

namespace {

// Header bytes in Windows-1251, built once; empty when the codec is missing, so
// that a build without it fails the save instead of writing a UTF-8 header.
const QByteArray &headerBytes()
{
    static const QByteArray bytes = [] {
        QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
        if (!codec)
            return QByteArray();
        return codec->fromUnicode(
            QStringLiteral("Пикет;Расстояние, м;Вертикаль, мм;Горизонталь, мм;\n"));
    }();
    return bytes;
}

bool writeAll(QIODevice *device, const QByteArray &bytes)
{
    return device->write(bytes) == bytes.size();
}

// The reason a journal file could not be written, for the run log.
QString failureReason(const QFileDevice &file)
{
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    if (headerBytes().isEmpty())
        return QStringLiteral("нет кодировки Windows-1251");
    return file.errorString();
}

void logSaveFailure(const QString &path, const QString &reason)
{
    if (Logger *log = Logger::instance())
        log->writeLine(QStringLiteral("Не удалось сохранить журнал: ") + path
                       + QStringLiteral(" — ") + reason);
}

} // namespace

float roundToQuarterMetre(float length)
{
    const float quarters = length * 4.0f;
    return static_cast<float>(std::round(static_cast<double>(quarters)) * 0.25);
}

QString formatJournalRow(const JournalEntry &entry)
{
    QString row;
    row.reserve(40);
    row += QString::number(entry.picket);
    row += entry.direction ? QLatin1Char('+') : QLatin1Char('-');
    row += QLatin1Char(';');
    row += QString::number(static_cast<double>(entry.length), 'f', 2);
    row += QLatin1Char(';');
    row += QString::number(static_cast<double>(entry.v), 'f', 3);
    row += QLatin1Char(';');
    row += QString::number(static_cast<double>(entry.h), 'f', 3);
    row += QLatin1Char(';');
    return row;
}

bool writeJournalHeader(QIODevice *device)
{
    const QByteArray &bytes = headerBytes();
    return !bytes.isEmpty() && writeAll(device, bytes);
}

bool writeJournalRow(QIODevice *device, const JournalEntry &entry)
{
    QByteArray bytes = formatJournalRow(entry).toLatin1();
    bytes += '\n';
    return writeAll(device, bytes);
}

bool writeJournal(QIODevice *device, const std::vector<JournalEntry> &entries)
{
    if (!writeJournalHeader(device))
        return false;
    for (const JournalEntry &entry : entries) {
        if (!writeJournalRow(device, entry))
            return false;
    }
    return true;
}

QString journalPathFromUrl(const QString &urlName)
{
    const QUrl url(urlName);
    if (!url.isValid() || !url.isLocalFile())
        return QString();
    QString path = url.toLocalFile();
    // The framework drops the slash before a drive letter only when built for
    // Windows; doing it everywhere keeps "file:///C:/x.csv" one path on every
    // build, at the price of a root folder named like a drive elsewhere.
    if (path.size() >= 3 && path.at(0) == QLatin1Char('/') && path.at(1).isLetter()
            && path.at(1).unicode() < 0x80 && path.at(2) == QLatin1Char(':')
            && (path.size() == 3 || path.at(3) == QLatin1Char('/')))
        path.remove(0, 1);
    return path;
}

void Tervalo::saveMeasure(int picket, bool direction, float length, float v, float h)
{
    const float rounded = roundToQuarterMetre(length);
    if (rounded == lastKeptLength) {
        lastKeptLength = rounded;
        return;
    }
    journal.push_back(JournalEntry{ picket, direction, rounded, v, h });
    m_measKeeped = true;
    // The run log holds every kept row, so a crashed run can still be rebuilt.
    if (Logger *log = Logger::instance()) {
        log->writeTime();
        log->writeLine(formatJournalRow(journal.back()));
    }
    lastKeptLength = rounded;
}

bool Tervalo::saveProtocol(QString urlName)
{
    // The dialog's shortest real answer is longer than "file:///"; anything up
    // to that is no choice at all and leaves everything as it was.
    if (urlName.size() <= 8)
        return false;

    const QString path = journalPathFromUrl(urlName);
    if (path.isEmpty()) {
        logSaveFailure(urlName, QStringLiteral("это не адрес локального файла"));
        return false;
    }

    // Written beside the target and renamed over it only when whole, so a
    // failed save never leaves half a protocol or spoils an older one.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        logSaveFailure(path, failureReason(file));
        return false;
    }
    // Flushed here because commit() in Qt 5 drops the error of its own last
    // flush and would rename a cut-off file over the target as a success.
    if (!writeJournal(&file, journal) || !file.flush()) {
        const QString reason = failureReason(file);
        file.cancelWriting();
        file.commit();  // discards the temporary file
        logSaveFailure(path, reason);
        return false;
    }
    if (!file.commit()) {
        logSaveFailure(path, failureReason(file));
        return false;
    }
    journal.clear();
    return true;
}

void Tervalo::writeRecoveryFile()
{
    if (journal.empty())
        return;

    // Never overwrite: a second controller ending within the same second, or a
    // file left by an earlier run, gets a numbered name of its own.
    const QString stem = QStringLiteral("tervalo-unsaved-")
            + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QFile file;
    QString name;
    for (int n = 1; n <= 100; ++n) {
        name = stem + (n == 1 ? QString() : QLatin1Char('-') + QString::number(n))
                + QStringLiteral(".csv");
        file.setFileName(name);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            break;
        if (!QFileInfo::exists(name))
            break;  // a real failure, not a taken name
    }
    if (!file.isOpen()) {
        logSaveFailure(name, failureReason(file));
        return;
    }

    bool written = writeJournal(&file, journal) && file.flush();
    file.close();
    written = written && file.error() == QFileDevice::NoError;
    if (!written) {
        const QString reason = failureReason(file);
        // A cut-off copy would pass for the whole run; the run log still holds
        // every kept row.
        file.remove();
        logSaveFailure(name, reason);
        return;
    }
    if (Logger *log = Logger::instance())
        log->writeLine(QStringLiteral("Несохранённый журнал записан в файл ") + name);
}

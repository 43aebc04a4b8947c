#include "journal.h"

#include "filesync.h"
#include "logger.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextCodec>
#include <QUrl>

#include <cmath>

float Journal::lastKeptLength = -1.0f;
const QString Journal::fileName = QStringLiteral("tervalo-journal.csv");

namespace {

// Rows reach the operating system at once; the disk gets them this much later
// at most, so that a recording at 4 rows a second does not wait on the disk.
constexpr int syncDelayMs = 500;

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

QByteArray rowBytes(const JournalEntry &entry)
{
    QByteArray bytes = formatJournalRow(entry).toLatin1();
    bytes += '\n';
    return bytes;
}

bool writeAll(QIODevice *device, const QByteArray &bytes)
{
    return device->write(bytes) == bytes.size();
}

// The reason a journal file could not be written, for the run log and the window.
QString failureReason(const QFileDevice &file)
{
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    if (headerBytes().isEmpty())
        return QStringLiteral("нет кодировки Windows-1251");
    // A write cut short sets no error: the disk took only part of it.
    return QStringLiteral("записано не всё, на диске нет места");
}

void logLine(const QString &line)
{
    if (Logger *log = Logger::instance())
        log->writeLine(line);
}

void logSaveFailure(const QString &path, const QString &reason)
{
    logLine(QStringLiteral("Не удалось сохранить журнал: ") + path + QStringLiteral(" — ") + reason);
}

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

// Header and rows through a file beside the target that replaces it only when
// whole, so a failure never leaves half a protocol or spoils an older file.
bool writeProtocolFile(const QString &path, const std::vector<JournalEntry> &entries, QString *reason)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *reason = failureReason(file);
        return false;
    }
    // Flushed here because commit() in Qt 5 drops the error of its own last
    // flush and would rename a cut-off file over the target as a success.
    if (!writeJournal(&file, entries) || !file.flush()) {
        *reason = failureReason(file);
        file.cancelWriting();
        file.commit();  // discards the temporary file
        return false;
    }
    if (!file.commit()) {
        *reason = failureReason(file);
        return false;
    }
    return true;
}

QString offsetText(float value)
{
    return std::isfinite(value) ? QString::number(static_cast<double>(value), 'f', 3) : QString();
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
    row += offsetText(entry.v);
    row += QLatin1Char(';');
    row += offsetText(entry.h);
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
    return writeAll(device, rowBytes(entry));
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

Journal::Journal(QObject *parent)
    : QObject(parent)
    , m_workingFolder(QDir::currentPath())
{
    m_syncTimer.setSingleShot(true);
    m_syncTimer.setInterval(syncDelayMs);
    connect(&m_syncTimer, &QTimer::timeout, this, &Journal::syncFile);

    // Both places: a run in a folder that could not take the journal kept it in
    // the user's folder, and a run started elsewhere must still bring it back.
    QStringList folders { m_workingFolder };
    const QString fallback = fallbackFolder();
    if (!fallback.isEmpty() && QDir(fallback) != QDir(m_workingFolder))
        folders << fallback;
    for (const QString &folder : qAsConst(folders)) {
        const QString path = QDir(folder).filePath(fileName);
        if (QFileInfo(path).isFile()) {
            const QString recovered = recover(path);
            if (!recovered.isEmpty())
                m_recovered << recovered;
        }
    }
    // Laid at once, so that a folder that cannot take it is known before the
    // first recording, not after it.
    writeWhole();
}

Journal::~Journal()
{
    finish();
}

QString Journal::fallbackFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

QString Journal::filePath() const
{
    return m_file.isOpen() ? nativePath(m_path) : QString();
}

bool Journal::keep(int picket, bool direction, float length, float v, float h)
{
    const float rounded = roundToQuarterMetre(length);
    if (rounded == lastKeptLength)
        return false;
    m_entries.push_back(JournalEntry { picket, direction, rounded, v, h });
    // On disk before the run log: a row the log names as kept is always in the file.
    append(m_entries.back());
    if (Logger *log = Logger::instance()) {
        log->writeTime();
        log->writeLine(formatJournalRow(m_entries.back()));
    }
    lastKeptLength = rounded;
    return true;
}

void Journal::append(const JournalEntry &entry)
{
    if (!m_file.isOpen()) {
        // The first row after a save starts a new file; after a failure the
        // rows wait in memory until sync() or finish() tries again.
        if (!m_broken)
            writeWhole();
        return;
    }
    const QByteArray bytes = rowBytes(entry);
    if (m_file.write(bytes) == bytes.size()) {
        m_fileSize += bytes.size();
        if (!m_syncTimer.isActive())
            m_syncTimer.start();
        return;
    }
    const QString reason = failureReason(m_file);
    // A row cut short would be read back as a whole one with other numbers.
    m_file.resize(m_fileSize);
    closeFile();
    m_broken = true;
    m_error = nativePath(m_path) + QStringLiteral(": ") + reason;
    logLine(QStringLiteral("Не удалось записать измерение в файл журнала ") + nativePath(m_path)
            + QStringLiteral(" — ") + reason + QStringLiteral(". Показания остаются в памяти программы."));
}

bool Journal::writeWhole()
{
    m_syncTimer.stop();
    closeFile();
    const QString previous = m_path;
    QString reason;
    if (writeWholeIn(m_workingFolder, previous, &reason)) {
        m_error.clear();
    } else {
        const QString working = nativePath(QDir(m_workingFolder).filePath(fileName));
        const bool firstFailure = m_error.isEmpty();
        m_error = working + QStringLiteral(": ") + reason;
        if (firstFailure)
            logLine(QStringLiteral("Не удалось записать журнал в файл ") + working + QStringLiteral(" — ") + reason);
        const QString fallback = fallbackFolder();
        QString fallbackReason;
        if (fallback.isEmpty() || QDir(fallback) == QDir(m_workingFolder) || !QDir().mkpath(fallback)
                || !writeWholeIn(fallback, previous, &fallbackReason)) {
            if (!fallback.isEmpty() && !fallbackReason.isEmpty() && firstFailure)
                logLine(QStringLiteral("Не удалось записать журнал в файл ")
                        + nativePath(QDir(fallback).filePath(fileName)) + QStringLiteral(" — ") + fallbackReason);
            // The part written before a failure stays where it is.
            m_path = previous;
            m_broken = !m_entries.empty() || !previous.isEmpty();
            return false;
        }
        if (firstFailure || previous != m_path)
            logLine(QStringLiteral("Журнал измерений записывается в файл ") + nativePath(m_path));
    }
    m_broken = false;
    // A shorter copy left in the other folder would come back as a second recovery.
    if (!previous.isEmpty() && QFileInfo(previous) != QFileInfo(m_path))
        QFile::remove(previous);
    return true;
}

bool Journal::writeWholeIn(const QString &folder, const QString &previous, QString *reason)
{
    const QString path = QDir(folder).filePath(fileName);
    const QFileInfo info(path);
    // Only this run's own file may be replaced; anything else there is an
    // earlier run's journal that could not be moved aside, or not a journal.
    if (info.exists() && (previous.isEmpty() || info != QFileInfo(previous))) {
        *reason = info.isDir() ? QStringLiteral("на месте файла журнала папка")
                               : QStringLiteral("файл уже есть и не перенесён");
        return false;
    }
    // A failure leaves the rows that were already on disk.
    if (!writeProtocolFile(path, m_entries, reason))
        return false;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        *reason = failureReason(m_file);
        m_path = path;
        return false;
    }
    m_path = path;
    m_fileSize = m_file.size();
    return true;
}

void Journal::closeFile()
{
    if (m_file.isOpen()) {
        syncFile();
        m_file.close();
    }
}

void Journal::syncFile()
{
    m_syncTimer.stop();
    if (m_file.isOpen() && !syncFileToDisk(m_file))
        logLine(QStringLiteral("Не удалось записать журнал на диск: ") + nativePath(m_path));
}

void Journal::sync()
{
    if (m_file.isOpen())
        syncFile();
    else if (m_broken)
        writeWhole();
}

bool Journal::save(const QString &urlName)
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

    QString reason;
    if (!writeProtocolFile(path, m_entries, &reason)) {
        logSaveFailure(path, reason);
        return false;
    }
    m_entries.clear();
    closeFile();
    if (!m_path.isEmpty() && !QFile::remove(m_path) && QFileInfo::exists(m_path))
        logLine(QStringLiteral("Не удалось удалить файл журнала ") + nativePath(m_path));
    m_path.clear();
    // The rows are safe in the protocol; what failed before concerns only the
    // next row, which tries the working folder again and tells anew.
    m_error.clear();
    m_broken = false;
    return true;
}

QString Journal::finish()
{
    if (m_finished)
        return QString();
    m_finished = true;
    if (m_entries.empty()) {
        closeFile();
        if (!m_path.isEmpty())
            QFile::remove(m_path);
        m_path.clear();
        return QString();
    }
    if (!m_file.isOpen())
        writeWhole();
    const bool whole = m_file.isOpen();
    closeFile();
    const QString recovered = m_path.isEmpty() ? QString() : recover(m_path);
    if (!whole) {
        // Every kept row is also in the run log, which the next start rewrites.
        logLine(QStringLiteral("Не удалось записать несохранённый журнал целиком: ")
                + QString::number(m_entries.size())
                + QStringLiteral(" измерений остались только в этом журнале работы"));
    }
    m_path.clear();
    return recovered;
}

QString Journal::recover(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        logLine(QStringLiteral("Не удалось прочитать несохранённый журнал ") + nativePath(path)
                + QStringLiteral(" — ") + file.errorString());
        return nativePath(path);
    }
    const QByteArray bytes = file.readAll();
    file.close();

    // A row cut short where the run ended is dropped; what stays are whole
    // lines. Only a file that is a journal is ever cut or removed.
    const QByteArray &header = headerBytes();
    const bool journal = !header.isEmpty() && bytes.startsWith(header);
    const int wholeSize = journal ? bytes.lastIndexOf('\n') + 1 : bytes.size();
    if ((journal && wholeSize == header.size()) || (!header.isEmpty() && header.startsWith(bytes))) {
        // A header without a single whole row: nothing was lost.
        QFile::remove(path);
        return QString();
    }

    // Named after the time of its last row: the night it was recorded, not the
    // morning it was found. ASCII digits whatever the locale.
    const QFileInfo info(path);
    const QString stem = QStringLiteral("tervalo-unsaved-")
            + QLocale::c().toString(info.lastModified(), QStringLiteral("yyyyMMdd-HHmmss"));
    const QDir folder = info.absoluteDir();
    QString target;
    for (int n = 1;; ++n) {
        target = folder.filePath(stem + (n == 1 ? QString() : QLatin1Char('-') + QString::number(n))
                                 + QStringLiteral(".csv"));
        // Never over another file: an earlier recovery of the same second stays.
        if (QFile::rename(path, target))
            break;
        if (!QFileInfo::exists(target) || n >= 1000) {
            logLine(QStringLiteral("Не удалось переименовать несохранённый журнал ") + nativePath(path)
                    + QStringLiteral(" в ") + nativePath(target));
            return nativePath(path);
        }
    }
    if (wholeSize < bytes.size() && !QFile::resize(target, wholeSize))
        logLine(QStringLiteral("Не удалось отрезать неполную строку файла ") + nativePath(target));
    // The bare name when it lies beside the run log, the whole path otherwise.
    const QString shown = folder == QDir(m_workingFolder) ? QFileInfo(target).fileName() : nativePath(target);
    logLine(QStringLiteral("Несохранённый журнал записан в файл ") + shown);
    return nativePath(target);
}

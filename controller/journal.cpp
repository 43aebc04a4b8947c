#include "journal.h"

#include "filesync.h"
#include "logger.h"
#include "runfile.h"

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

const QString Journal::fileName = QStringLiteral("tervalo-journal.csv");

namespace {

// How often rows that could go to no disk are tried there again.
constexpr int retryMs = 2000;

const QString programName = QStringLiteral("tervalo");

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

void logSaveFailure(const QString &path, const QString &reason)
{
    Logger::line(QStringLiteral("Не удалось сохранить журнал: ") + path + QStringLiteral(" — ") + reason);
}

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

// Why an existing target may not be replaced, or empty: only a regular file
// may, or a device node or FIFO would be replaced by a file.
QString refusedTarget(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isFile())
        return QString();
    return info.isDir() ? QStringLiteral("это папка") : QStringLiteral("это не обычный файл");
}

// A document the operator keeps (the protocol, its run file), through a file
// beside the target that replaces it only when whole, so a failure never
// leaves half a file or spoils an older one; synced before it replaces it.
bool writeSavedFile(const QString &path, const QByteArray &bytes, QString *reason)
{
    *reason = refusedTarget(path);
    if (!reason->isEmpty())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *reason = failureReason(file);
        return false;
    }
    // Flushed here because commit() in Qt 5 drops the error of its own last
    // flush and would rename a cut-off file over the target as a success.
    if (!writeAll(&file, bytes) || !file.flush()) {
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

// The file beside one of the journal's own files that a whole rewrite fills
// before it takes that file's place.
QString rewritePath(const QString &path)
{
    return path + QStringLiteral(".new");
}

// The journal's own files, the same way but not synced: that is the syncer's
// task, off the GUI thread.
bool writeUnsyncedFile(const QString &path, const QByteArray &bytes, QString *reason)
{
    *reason = refusedTarget(path);
    if (!reason->isEmpty())
        return false;
    const QString temporary = rewritePath(path);
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *reason = failureReason(file);
        return false;
    }
    const bool written = writeAll(&file, bytes) && file.flush();
    if (!written)
        *reason = failureReason(file);
    file.close();
    if (written && FileSync::replace(temporary, path))
        return true;
    if (written)
        *reason = QStringLiteral("не удалось переименовать ") + nativePath(temporary);
    QFile::remove(temporary);
    return false;
}

QByteArray journalBytes(const std::vector<JournalEntry> &entries)
{
    if (headerBytes().isEmpty())
        return QByteArray();
    QByteArray bytes = headerBytes();
    bytes.reserve(bytes.size() + int(entries.size()) * 28);
    for (const JournalEntry &entry : entries)
        bytes += rowBytes(entry);
    return bytes;
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
    , m_syncer(this, [this](int generation) { onFileLost(generation); },
               [this](const QString &path) { onSyncFailed(path); })
{
    m_retryTimer.setInterval(retryMs);
    connect(&m_retryTimer, &QTimer::timeout, this, [this] {
        if (m_broken && !m_finished)
            writeWhole();
        else
            m_retryTimer.stop();
    });

    // Both places: a run in a folder that could not take the journal kept it in
    // the user's folder, and a run started elsewhere must still bring it back.
    for (const QString &folder : folders()) {
        const QString path = QDir(folder).filePath(fileName);
        takeUnfinishedRewrite(path);
        if (QFileInfo(path).isFile()) {
            const QString recovered = recover(path);
            if (!recovered.isEmpty())
                m_recovered << recovered;
        } else if (QFileInfo(RunFile::pathFor(path)).isFile()) {
            // Left by a save that ended between removing the journal and its
            // run file: the marks are in the saved run file.
            QFile::remove(RunFile::pathFor(path));
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

// A whole rewrite cut off by a crash after its file beside was written but
// before that file took the journal file's place: it may hold rows the
// journal file lacks (rows that were only in memory after a failed write),
// or be the only copy (the journal file had vanished). It takes the journal
// file's place when it holds every row of that file and more, and is brought
// back on its own when the two disagree; otherwise it holds nothing new. The
// run file beside it is taken when it was written whole.
void Journal::takeUnfinishedRewrite(const QString &path)
{
    const QString sidecar = RunFile::pathFor(path);
    const QString sidecarRewrite = rewritePath(sidecar);
    if (QFileInfo(sidecarRewrite).isFile()) {
        RunInfo run;
        QString error;
        if (!RunFile::read(sidecarRewrite, &run, &error) || !FileSync::replace(sidecarRewrite, sidecar))
            QFile::remove(sidecarRewrite);
    }

    const QString rewrite = rewritePath(path);
    if (!QFileInfo(rewrite).isFile())
        return;
    const auto wholeLines = [](const QString &file) {
        QFile f(file);
        const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        return bytes.left(bytes.lastIndexOf('\n') + 1);
    };
    const QByteArray fresh = wholeLines(rewrite);
    if (!QFileInfo::exists(path)) {
        if (QFile::rename(rewrite, path))
            return;
    } else if (QFileInfo(path).isFile()) {
        const QByteArray old = wholeLines(path);
        if (old.startsWith(fresh)) {
            QFile::remove(rewrite);
            return;
        }
        if (fresh.startsWith(old) && FileSync::replace(rewrite, path)) {
            Logger::line(QStringLiteral("Файл журнала ") + nativePath(path) + QStringLiteral(" заменён его полной копией ")
                    + nativePath(rewrite) + QStringLiteral(", записанной перед сбоем"));
            return;
        }
    }
    RunInfo run;
    QString error;
    const bool known = QFileInfo(sidecar).isFile() && RunFile::read(sidecar, &run, &error);
    const QString recovered = recover(rewrite, known ? &run : nullptr);
    if (!recovered.isEmpty())
        m_recovered << recovered;
}

QString Journal::fallbackFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

QStringList Journal::folders() const
{
    QStringList result { m_workingFolder };
    const QString fallback = fallbackFolder();
    if (!fallback.isEmpty() && QDir(fallback) != QDir(m_workingFolder))
        result << fallback;
    return result;
}

bool Journal::inWorkingFolder(const QString &path) const
{
    return QFileInfo(path).absoluteDir() == QDir(m_workingFolder);
}

QString Journal::filePath() const
{
    return m_file.isOpen() ? nativePath(m_path) : QString();
}

QString Journal::state() const
{
    if (!m_file.isOpen())
        return m_error.isEmpty() ? QStringLiteral("ok") : QStringLiteral("memory");
    if (!inWorkingFolder(m_path))
        return QStringLiteral("moved");
    return m_error.isEmpty() ? QStringLiteral("ok") : QStringLiteral("rewritten");
}

bool Journal::keep(int picket, bool direction, float length, float v, float h)
{
    const float rounded = roundToQuarterMetre(length);
    // A trolley standing still gives the same place again; a picket mark or a
    // turn at the same distance is a new place.
    if (m_hasLastKept && m_lastKept.picket == picket && m_lastKept.direction == direction
            && m_lastKept.length == rounded)
        return false;
    m_entries.push_back(JournalEntry { picket, direction, rounded, v, h });
    // On disk before the run log: a row the log names as kept is always in the file.
    append(m_entries.back());
    if (Logger *log = Logger::instance()) {
        log->writeTime();
        log->writeLine(formatJournalRow(m_entries.back()));
    }
    m_lastKept = m_entries.back();
    m_hasLastKept = true;
    return true;
}

void Journal::startRecording(const RunInfo &header)
{
    m_hasLastKept = false;
    const QDateTime started = m_entries.empty() || !m_run.started.isValid() ? QDateTime::currentDateTime()
                                                                            : m_run.started;
    std::vector<RunMark> marks = std::move(m_run.marks);
    m_run = header;
    m_run.started = started;
    m_run.stopped = QDateTime();
    m_run.marks = std::move(marks);
    writeSidecar();
}

void Journal::stopRecording()
{
    m_run.stopped = QDateTime::currentDateTime();
    writeSidecar();
    sync();
}

int Journal::addMark(RunMark mark)
{
    if (!RunFile::isMarkKind(mark.kind))
        return -1;
    mark.time = QDateTime::currentDateTime();
    m_run.marks.push_back(mark);
    writeSidecar();
    Logger::line(QStringLiteral("Отметка: ") + RunFile::markKindText(mark.kind) + QStringLiteral(", ПК ")
            + QString::number(mark.picket) + (mark.forward ? QStringLiteral(" + ") : QStringLiteral(" - "))
            + QString::number(mark.distance, 'f', 2) + QStringLiteral(" м"));
    return int(m_run.marks.size()) - 1;
}

bool Journal::setMarkNote(int index, const QString &note)
{
    if (index < 0 || index >= int(m_run.marks.size()))
        return false;
    m_run.marks[size_t(index)].note = note;
    writeSidecar();
    return true;
}

void Journal::append(const JournalEntry &entry)
{
    if (!m_file.isOpen()) {
        // The first row after a save starts a new file; after a failure the
        // rows wait in memory for the next try.
        if (!m_broken)
            writeWhole();
        return;
    }
    const QByteArray bytes = rowBytes(entry);
    if (m_file.write(bytes) == bytes.size()) {
        m_fileSize += bytes.size();
        m_syncer.requestSync();
        return;
    }
    const QString reason = failureReason(m_file);
    // A row cut short would be read back as a whole one with other numbers.
    m_file.resize(m_fileSize);
    Logger::line(QStringLiteral("Не удалось записать измерение в файл журнала ") + nativePath(m_path)
            + QStringLiteral(" — ") + reason + QLatin1Char('.'));
    // At once and whole into another folder: the one that failed (most likely
    // a full disk) would fail again on the first row.
    if (!writeWhole(QFileInfo(m_path).absolutePath(), reason))
        Logger::line(QStringLiteral("Показания остаются в памяти программы."));
}

bool Journal::writeWhole(const QString &failedFolder, const QString &failedReason)
{
    // Tries after a failure that come every few seconds leave no trace until
    // they succeed.
    const bool wasBroken = m_broken;
    const bool quiet = wasBroken && failedFolder.isEmpty();
    closeFile();
    const QString previous = m_path;
    const QByteArray bytes = journalBytes(m_entries);
    // The first folder that failed and why: what the window shows.
    QString firstFailed, firstReason;
    bool written = false;
    for (const QString &folder : folders()) {
        const QString path = QDir(folder).filePath(fileName);
        QString reason;
        if (!failedFolder.isEmpty() && QDir(folder) == QDir(failedFolder)) {
            reason = failedReason;
        } else if (bytes.isEmpty()) {
            reason = QStringLiteral("нет кодировки Windows-1251");
        } else if (folder != m_workingFolder && !QDir().mkpath(folder)) {
            reason = QStringLiteral("папку не удалось создать");
        } else if (writeWholeIn(folder, previous, bytes, &reason)) {
            written = true;
            break;
        } else if (!quiet) {
            Logger::line(QStringLiteral("Не удалось записать журнал в файл ") + nativePath(path)
                    + QStringLiteral(" — ") + reason);
        }
        if (firstFailed.isEmpty()) {
            firstFailed = path;
            firstReason = reason;
        }
    }

    if (!written) {
        // The part written before a failure stays where it is.
        m_path = previous;
        m_broken = !m_entries.empty() || !m_run.marks.empty() || !previous.isEmpty();
        m_error = nativePath(firstFailed) + QStringLiteral(": ") + firstReason;
        if (m_broken && !m_retryTimer.isActive())
            m_retryTimer.start();
        return false;
    }
    m_broken = false;
    m_retryTimer.stop();
    m_error = firstFailed.isEmpty() ? QString() : nativePath(firstFailed) + QStringLiteral(": ") + firstReason;
    if (!inWorkingFolder(m_path) || !previous.isEmpty() || wasBroken)
        Logger::line(QStringLiteral("Журнал измерений записывается в файл ") + nativePath(m_path));
    // A shorter copy left in the other folder would come back as a second recovery.
    if (!previous.isEmpty() && QFileInfo(previous) != QFileInfo(m_path)) {
        QFile::remove(previous);
        QFile::remove(RunFile::pathFor(previous));
    }
    return true;
}

bool Journal::writeWholeIn(const QString &folder, const QString &previous, const QByteArray &bytes, QString *reason)
{
    // A folder that is gone is not made again: it may be a removed drive's.
    if (!QDir(folder).exists()) {
        *reason = QStringLiteral("папки нет");
        return false;
    }
    const QString path = QDir(folder).filePath(fileName);
    const QFileInfo info(path);
    // Only this run's own file may be replaced (also when something took its
    // place while it was written); anything else there is an earlier run's
    // journal that could not be moved aside, or not a journal.
    if (info.isDir()) {
        *reason = QStringLiteral("на месте файла журнала папка");
        return false;
    }
    if (info.exists() && (previous.isEmpty() || info != QFileInfo(previous))) {
        *reason = QStringLiteral("файл уже есть и не перенесён");
        return false;
    }
    // A failure leaves the rows that were already on disk.
    if (!writeUnsyncedFile(path, bytes, reason))
        return false;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        *reason = failureReason(m_file);
        m_path = path;
        return false;
    }
    m_path = path;
    m_fileSize = m_file.size();
    m_generation = m_syncer.attach(m_file);
    if (m_generation == 0)
        Logger::line(QStringLiteral("Файл журнала не удаётся записывать на диск сразу: ") + nativePath(path));
    writeSidecar();
    return true;
}

void Journal::writeSidecar()
{
    if (!m_file.isOpen())
        return;
    const QString path = RunFile::pathFor(m_path);
    if (!m_run.started.isValid() && m_run.marks.empty()) {
        if (QFileInfo(path).isFile())
            QFile::remove(path);
        return;
    }
    QString reason;
    if (!writeUnsyncedFile(path, RunFile::toJson(runForFile(QByteArray())), &reason)) {
        Logger::line(QStringLiteral("Не удалось записать сведения о записи в файл ") + nativePath(path)
                + QStringLiteral(" — ") + reason);
        return;
    }
    m_syncer.requestPathSync(path);
}

RunInfo Journal::runForFile(const QByteArray &protocol) const
{
    RunInfo info = m_run;
    info.programName = programName;
    info.programVersion = QStringLiteral(TERVALO_VERSION);
    if (!protocol.isEmpty()) {
        info.rows = int(m_entries.size());
        info.sha256 = RunFile::sha256Hex(protocol);
    }
    return info;
}

void Journal::closeFile()
{
    // The syncer lets go first: on Windows a file with a second handle open
    // cannot be removed or replaced.
    m_syncer.detach();
    if (m_file.isOpen())
        m_file.close();
}

void Journal::onFileLost(int generation)
{
    if (generation != m_generation || !m_file.isOpen() || m_finished)
        return;
    const QString lost = nativePath(m_path);
    Logger::line(QStringLiteral("Файл журнала ") + lost
            + QStringLiteral(" исчез с диска или заменён другим; журнал записывается заново"));
    if (writeWhole() && inWorkingFolder(m_path))
        m_error = lost + QStringLiteral(": файл журнала исчез с диска, журнал записан заново");
}

void Journal::onSyncFailed(const QString &path)
{
    Logger::line(QStringLiteral("Не удалось записать журнал на диск: ") + nativePath(path));
    // A disk that will not keep what it took is treated like one that is full.
    if (m_file.isOpen() && !m_finished && QFileInfo(path) == QFileInfo(m_path))
        writeWhole(QFileInfo(m_path).absolutePath(), QStringLiteral("диск не сохраняет записанное"));
}

void Journal::sync()
{
    if (m_file.isOpen()) {
        switch (m_syncer.syncNow()) {
        case JournalSyncer::Result::Gone:
            onFileLost(m_generation);
            break;
        case JournalSyncer::Result::SyncFailed:
            onSyncFailed(m_path);
            break;
        default:
            break;
        }
    } else if (m_broken) {
        writeWhole();
    }
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

    const QByteArray bytes = journalBytes(m_entries);
    QString reason = bytes.isEmpty() ? QStringLiteral("нет кодировки Windows-1251") : QString();
    if (!reason.isEmpty() || !writeSavedFile(path, bytes, &reason)) {
        logSaveFailure(path, reason);
        return false;
    }
    writeRunFile(path, bytes);
    m_entries.clear();
    m_run.marks.clear();
    m_run.started = QDateTime();
    m_run.stopped = QDateTime();
    closeFile();
    if (!m_path.isEmpty() && !QFile::remove(m_path) && QFileInfo::exists(m_path))
        Logger::line(QStringLiteral("Не удалось удалить файл журнала ") + nativePath(m_path));
    if (!m_path.isEmpty())
        QFile::remove(RunFile::pathFor(m_path));
    m_path.clear();
    // The rows are safe in the protocol; what failed before concerns only the
    // next row, which tries the working folder again and tells anew.
    m_error.clear();
    m_broken = false;
    m_retryTimer.stop();
    return true;
}

void Journal::writeRunFile(const QString &protocolPath, const QByteArray &protocol)
{
    const QString path = RunFile::pathFor(protocolPath);
    QString reason;
    if (QFileInfo(path) == QFileInfo(protocolPath))
        reason = QStringLiteral("у протокола имя файла сведений о записи");
    else
        writeSavedFile(path, RunFile::toJson(runForFile(protocol)), &reason);
    m_lastRunFile = reason.isEmpty() ? nativePath(path) : QString();
    m_lastRunFileError = reason;
    if (!reason.isEmpty())
        Logger::line(QStringLiteral("Не удалось записать сведения о записи в файл ") + nativePath(path)
                + QStringLiteral(" — ") + reason);
}

QString Journal::finish()
{
    if (m_finished)
        return QString();
    m_finished = true;
    m_retryTimer.stop();
    // Marks without a single row place nothing and go with the empty journal.
    if (m_entries.empty()) {
        closeFile();
        if (!m_path.isEmpty()) {
            QFile::remove(m_path);
            QFile::remove(RunFile::pathFor(m_path));
        }
        m_path.clear();
        return QString();
    }
    // The file named at the end must be there and hold every row: one that
    // vanished since the last look is written anew first.
    if (m_file.isOpen()) {
        const JournalSyncer::Result synced = m_syncer.syncNow();
        if (synced == JournalSyncer::Result::Gone) {
            Logger::line(QStringLiteral("Файл журнала ") + nativePath(m_path)
                    + QStringLiteral(" исчез с диска или заменён другим; журнал записывается заново"));
            writeWhole();
        } else if (synced == JournalSyncer::Result::SyncFailed) {
            Logger::line(QStringLiteral("Не удалось записать журнал на диск: ") + nativePath(m_path));
        }
    }
    if (!m_file.isOpen())
        writeWhole();
    const bool whole = m_file.isOpen();
    if (whole && m_syncer.syncNow() != JournalSyncer::Result::Synced)
        Logger::line(QStringLiteral("Не удалось записать журнал на диск: ") + nativePath(m_path));
    closeFile();
    const QString recovered = m_path.isEmpty() ? QString() : recover(m_path, &m_run, whole);
    m_path.clear();
    if (!whole) {
        // Every kept row is also in the run log, which the next start rewrites.
        Logger::line(QStringLiteral("Не удалось записать несохранённый журнал целиком: ")
                + QString::number(m_entries.size())
                + QStringLiteral(" измерений остались только в этом журнале работы"));
        return QString();
    }
    return recovered;
}

QString Journal::recover(const QString &path, const RunInfo *known, bool whole)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Logger::line(QStringLiteral("Не удалось прочитать несохранённый журнал ") + nativePath(path)
                + QStringLiteral(" — ") + file.errorString());
        return QFileInfo::exists(path) ? nativePath(path) : QString();
    }
    const QByteArray bytes = file.readAll();
    file.close();
    const QString sidecar = RunFile::pathFor(path);

    // A row cut short where the run ended is dropped; what stays are whole
    // lines. Only a file that is a journal is ever cut or removed.
    const QByteArray &header = headerBytes();
    const bool journal = !header.isEmpty() && bytes.startsWith(header);
    const int wholeSize = journal ? bytes.lastIndexOf('\n') + 1 : bytes.size();
    if ((journal && wholeSize == header.size()) || (!header.isEmpty() && header.startsWith(bytes))) {
        // A header without a single whole row: nothing was lost.
        QFile::remove(path);
        QFile::remove(sidecar);
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
            Logger::line(QStringLiteral("Не удалось переименовать несохранённый журнал ") + nativePath(path)
                    + QStringLiteral(" в ") + nativePath(target));
            return nativePath(path);
        }
    }
    if (wholeSize < bytes.size() && !QFile::resize(target, wholeSize))
        Logger::line(QStringLiteral("Не удалось отрезать неполную строку файла ") + nativePath(target));

    // The run file beside it: what the crew entered and marked, with the rows
    // as they are in the recovered file.
    if (journal) {
        RunInfo run;
        QString error;
        if (known)
            run = *known;
        else if (QFileInfo(sidecar).isFile() && !RunFile::read(sidecar, &run, &error))
            Logger::line(QStringLiteral("Не удалось прочитать сведения о записи: ") + error);
        if (run.programName.isEmpty()) {
            run.programName = programName;
            run.programVersion = QStringLiteral(TERVALO_VERSION);
        }
        const QByteArray rows = bytes.left(wholeSize);
        run.rows = rows.mid(header.size()).count('\n');
        run.sha256 = RunFile::sha256Hex(rows);
        const QString runPath = RunFile::pathFor(target);
        QString reason;
        if (!writeSavedFile(runPath, RunFile::toJson(run), &reason))
            Logger::line(QStringLiteral("Не удалось записать сведения о записи в файл ") + nativePath(runPath)
                    + QStringLiteral(" — ") + reason);
    }
    QFile::remove(sidecar);

    // The bare name when it lies beside the run log, the whole path otherwise.
    const QString shown = folder == QDir(m_workingFolder) ? QFileInfo(target).fileName() : nativePath(target);
    Logger::line((whole ? QStringLiteral("Несохранённый журнал записан в файл ")
                   : QStringLiteral("Часть несохранённого журнала записана в файл "))
            + shown);
    return nativePath(target);
}

#include "logger.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QTextCodec>

QPointer<Logger> Logger::s_instance;

Logger *Logger::instance(QObject *owner)
{
    if (owner && !s_instance)
        s_instance = new Logger(owner);
    return s_instance.data();
}

Logger::Logger(QObject *parent)
    : QObject(parent)
    // The file belongs to the owner, not to the log, so that the owner closes it
    // together with its other children.
    , m_file(new QFile(QStringLiteral("tervalo.log"), parent))
{
    // Not QIODevice::Text: lines end with a bare LF on every platform.
    m_file->open(QIODevice::WriteOnly | QIODevice::Truncate);
    writeLine(QStringLiteral("Начало записи ") + currentTimeText());
}

void Logger::write(const QString &text)
{
    if (!m_file || !m_file->isOpen())
        return;
    static QTextCodec *const codec = QTextCodec::codecForName("Windows-1251");
    Q_ASSERT(codec);
    m_file->write(codec ? codec->fromUnicode(text) : text.toUtf8());
    m_file->flush();
}

void Logger::writeLine(const QString &text)
{
    write(text + QLatin1Char('\n'));
}

void Logger::line(const QString &text)
{
    if (Logger *log = instance())
        log->writeLine(text);
}

void Logger::writeHex(const QByteArray &bytes)
{
    writeLine(hexText(bytes));
}

QString Logger::hexText(const QByteArray &bytes)
{
    // Every byte after a blank, the first one included.
    return bytes.isEmpty() ? QString() : QLatin1Char(' ') + QString::fromLatin1(bytes.toHex(' '));
}

void Logger::writeTime()
{
    writeLine(QStringLiteral("Время ") + currentTimeText());
}

QString Logger::currentTimeText()
{
    return timeText(QDateTime::currentDateTime());
}

QString Logger::timeText(const QDateTime &time)
{
    return QLocale::c().toString(time, QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

#include "logger.h"

#include <QDateTime>
#include <QFile>
#include <QTextCodec>
#include <QTextStream>

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
    {
        QTextStream stream(m_file);
        if (codec)
            stream.setCodec(codec);
        stream << text;
        stream.flush();
    }
    m_file->flush();
}

void Logger::writeLine(const QString &text)
{
    write(text + QLatin1Char('\n'));
}

void Logger::writeHex(const QByteArray &bytes)
{
    static const char digits[] = "0123456789abcdef";
    QString line;
    line.reserve(bytes.size() * 3);
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        line += QLatin1Char(' ');
        line += QLatin1Char(digits[value >> 4]);
        line += QLatin1Char(digits[value & 0x0f]);
    }
    writeLine(line);
}

void Logger::writeTime()
{
    writeLine(QStringLiteral("Время ") + currentTimeText());
}

QString Logger::currentTimeText()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

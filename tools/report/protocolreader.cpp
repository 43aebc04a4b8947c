#include "protocolreader.h"

#include "runfile.h"

#include <QFile>
#include <QFileInfo>
#include <QTextCodec>

#include <cmath>
#include <cstring>
#include <thread>

namespace {

// A protocol line is a few dozen bytes; a longer first line is not a header.
constexpr qint64 maxHeaderBytes = 256;

QString fail(const QString &name, qint64 line, const QString &what)
{
    return line > 0 ? QStringLiteral("%1:%2: %3").arg(name).arg(line).arg(what)
                    : QStringLiteral("%1: %2").arg(name, what);
}

// A plain decimal: optional "-", digits, optional "." and digits. No exponent,
// no blanks, no comma: the program never writes them, and a row edited into
// another form should be noticed, not guessed at. The value is the correctly
// rounded double of the text (an exact integer over an exact power of ten), so
// "6.000" compares equal to a limit typed as 6.
bool parseDecimal(const char *begin, const char *end, bool allowSign, double *value)
{
    static const double powers[] = { 1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9 };
    const char *p = begin;
    bool negative = false;
    if (allowSign && p < end && *p == '-') {
        negative = true;
        ++p;
    }
    qint64 mantissa = 0;
    int digits = 0;
    int fraction = -1;
    for (; p < end; ++p) {
        if (*p == '.' && fraction < 0 && digits > 0) {
            fraction = 0;
            continue;
        }
        if (*p < '0' || *p > '9')
            return false;
        if (++digits > 15)
            return false;
        mantissa = mantissa * 10 + (*p - '0');
        if (fraction >= 0)
            ++fraction;
    }
    if (digits == 0 || fraction == 0 || fraction > 9)
        return false;
    const int places = fraction < 0 ? 0 : fraction;
    *value = double(mantissa) / powers[places];
    if (negative)
        *value = -*value;
    return true;
}

QString quoted(const char *begin, const char *end)
{
    // Rows are ASCII; anything else is shown as Latin-1 so the message stays readable.
    return QLatin1Char('"') + QString::fromLatin1(begin, int(end - begin)) + QLatin1Char('"');
}

} // namespace

QString ProtocolReader::headerText()
{
    return QStringLiteral("Пикет;Расстояние, м;Вертикаль, мм;Горизонталь, мм;");
}

const QByteArray &ProtocolReader::header()
{
    static const QByteArray bytes = [] {
        QTextCodec *codec = QTextCodec::codecForName("Windows-1251");
        return codec ? codec->fromUnicode(headerText()) : QByteArray();
    }();
    return bytes;
}

bool ProtocolReader::read(const QString &path, Protocol *protocol, QString *error)
{
    // Messages name the file as the user gave it.
    const QString &name = path;
    QFile file(path);
    if (QFileInfo(path).isDir()) {
        *error = fail(name, 0, QStringLiteral("это папка, а не файл протокола"));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = fail(name, 0, QStringLiteral("не открывается: ") + file.errorString());
        return false;
    }
    // Look at the first line before taking the rest, so that a large file of
    // some other kind is refused without reading it whole.
    const QByteArray first = file.readLine(maxHeaderBytes);
    QByteArray bytes = first;
    if (first.endsWith('\n'))
        bytes += file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = fail(name, 0, QStringLiteral("не читается: ") + file.errorString());
        return false;
    }
    // The digest takes about as long as the parse; on a second core it is free.
    QByteArray digest;
    std::thread hasher([&] { digest = RunFile::sha256Hex(bytes); });
    const bool parsed = parse(bytes, name, protocol, error);
    hasher.join();
    if (!parsed)
        return false;
    protocol->path = path;
    protocol->modified = QFileInfo(file).lastModified();
    protocol->sha256 = digest;
    return true;
}

bool ProtocolReader::parse(const QByteArray &bytes, const QString &name, Protocol *protocol, QString *error)
{
    protocol->rows.clear();
    if (header().isEmpty()) {
        *error = fail(name, 0, QStringLiteral("нет кодировки Windows-1251"));
        return false;
    }
    const char *p = bytes.constData();
    const char *const end = p + bytes.size();

    auto lineEnd = [end](const char *from) {
        const void *lf = std::memchr(from, '\n', size_t(end - from));
        return lf ? static_cast<const char *>(lf) : end;
    };

    const char *eol = lineEnd(p);
    const char *stop = (eol > p && eol[-1] == '\r') ? eol - 1 : eol;
    if (bytes.isEmpty()) {
        *error = fail(name, 1, QStringLiteral("пустой файл, а не протокол"));
        return false;
    }
    // A spreadsheet that saved the protocol again may have written the header
    // in UTF-8, often after a byte-order mark; the rows are ASCII either way.
    const QByteArray first = QByteArray::fromRawData(p, int(stop - p));
    static const QByteArray bom("\xEF\xBB\xBF");
    if (first == header()) {
        protocol->encoding = Encoding::Windows1251;
    } else if (first == headerText().toUtf8()) {
        protocol->encoding = Encoding::Utf8;
    } else if (first.startsWith(bom) && first.mid(bom.size()) == headerText().toUtf8()) {
        protocol->encoding = Encoding::Utf8WithBom;
    } else {
        *error = fail(name, 1, QStringLiteral("не протокол: первая строка не заголовок \"%1\"").arg(headerText()));
        return false;
    }

    protocol->rows.reserve(size_t(bytes.size() / 24));
    qint64 line = 1;
    for (p = eol; p < end; p = eol) {
        ++p;  // past the LF
        ++line;
        eol = lineEnd(p);
        stop = (eol > p && eol[-1] == '\r') ? eol - 1 : eol;
        // Blank lines at the very end are what an editor leaves; elsewhere a
        // blank line means the file was cut or pieced together.
        if (p == stop && std::strspn(p, "\r\n") >= size_t(end - p))
            break;

        // Four fields, each closed by ";", nothing after the last one.
        const char *field[5];
        int count = 0;
        field[0] = p;
        for (const char *q = p; q < stop; ++q) {
            if (*q == ';') {
                if (++count > 4)
                    break;
                field[count] = q + 1;
            }
        }
        if (count != 4 || field[4] != stop) {
            if (p == stop) {
                *error = fail(name, line, QStringLiteral("пустая строка"));
            } else if (count == 4) {
                *error = fail(name, line, QStringLiteral("текст после \";\" четвёртого поля: %1").arg(quoted(field[4], stop)));
            } else if (count > 4) {
                *error = fail(name, line, QStringLiteral("больше 4 полей; в строке пикет, расстояние, вертикаль и горизонталь, после каждого \";\""));
            } else {
                *error = fail(name, line, QStringLiteral("полей, закрытых \";\": %1, а должно быть 4").arg(count));
            }
            return false;
        }

        ProtocolRow row;
        // Picket: a whole number immediately followed by the direction sign.
        const char *fb = field[0];
        const char *fe = field[1] - 1;
        double picket = 0;
        if (fe - fb < 2 || (fe[-1] != '+' && fe[-1] != '-')
            || !parseDecimal(fb, fe - 1, true, &picket) || std::memchr(fb, '.', size_t(fe - fb))
            || std::fabs(picket) > 2147483647.0) {
            *error = fail(name, line, QStringLiteral("пикет %1: не целое число со знаком \"+\" или \"-\" после него")
                                          .arg(quoted(fb, fe)));
            return false;
        }
        row.picket = qint32(picket);
        row.forward = fe[-1] == '+';

        fb = field[1];
        fe = field[2] - 1;
        double metres = 0;
        if (!parseDecimal(fb, fe, false, &metres)) {
            *error = fail(name, line, QStringLiteral("расстояние %1: не число метров").arg(quoted(fb, fe)));
            return false;
        }
        const double quarters = metres * 4.0;
        if (quarters != std::floor(quarters) || quarters > 2147483647.0) {
            *error = fail(name, line, QStringLiteral("расстояние %1: не кратно 0.25 м").arg(quoted(fb, fe)));
            return false;
        }
        row.quarters = qint32(quarters);

        for (int c = 0; c < channelCount; ++c) {
            fb = field[2 + c];
            fe = field[3 + c] - 1;
            if (fb == fe)
                continue;  // no reading on this channel
            if (!parseDecimal(fb, fe, true, &row.value[c])) {
                *error = fail(name, line, QStringLiteral("%1 %2: не число миллиметров")
                                              .arg(channelName(Channel(c)).toLower(), quoted(fb, fe)));
                return false;
            }
            row.hasValue[c] = true;
        }
        protocol->rows.push_back(row);
    }
    return true;
}

#ifndef PROTOCOL_H
#define PROTOCOL_H

#include <QDateTime>
#include <QString>

#include <vector>

// The two measuring channels, in the order of the protocol's columns.
enum Channel { Vertical = 0, Horizontal = 1 };
constexpr int channelCount = 2;

// One row of a protocol file: where it was taken and what each sensor read.
struct ProtocolRow
{
    qint32 picket = 0;
    bool forward = true;      // "+": picket numbers grow along the run
    qint32 quarters = 0;      // distance from the picket, in quarter metres
    bool hasValue[channelCount] = { false, false };  // false: the field was empty
    double value[channelCount] = { 0.0, 0.0 };       // mm
};

// How the protocol's header was written: the program writes Windows-1251, a
// spreadsheet that saved the file again may have written UTF-8.
enum class Encoding { Windows1251, Utf8, Utf8WithBom };

// A protocol as read from its file. Row i stands on line i + 2 (the header is line 1).
struct Protocol
{
    QString path;
    QDateTime modified;
    Encoding encoding = Encoding::Windows1251;
    QByteArray sha256;  // lower-case hex digest of the file's bytes
    std::vector<ProtocolRow> rows;
};

// The position as the crew reads it at the rail: "ПК 12 + 3.25", "ПК -1 - 0.50".
QString positionText(const ProtocolRow &row);
QString positionText(qint32 picket, bool forward, double metres);

// The row's place on the line in metres, picket N standing at N * 100: forward
// rows lie beyond their picket, reverse rows before it. Pickets are marked by
// hand, so this is only good for matching two runs over the same stretch.
double linePosition(const ProtocolRow &row);
// The same in quarter metres, exact, for matching rows of two runs.
qint64 lineQuarter(const ProtocolRow &row);

QString channelName(Channel channel);
QString encodingName(Encoding encoding);

#endif // PROTOCOL_H

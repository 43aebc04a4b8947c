#ifndef PROTOCOLREADER_H
#define PROTOCOLREADER_H

#include "protocol.h"

#include <QByteArray>

// Reads a protocol file as the program writes it: Windows-1251 header (or the
// same in UTF-8, as a spreadsheet saves it again), then
// rows of four fields each followed by ";", an empty field where a sensor had
// no reading. Anything else is refused with a message naming the file and line,
// since a report built on a misread file would send the crew to the wrong place.
class ProtocolReader
{
public:
    // false and a message "name:line: what" on any fault.
    static bool read(const QString &path, Protocol *protocol, QString *error);
    // The same on bytes already in memory; name only appears in messages.
    static bool parse(const QByteArray &bytes, const QString &name, Protocol *protocol, QString *error);

    static const QByteArray &header();  // Windows-1251, without its line end
    static QString headerText();
};

#endif // PROTOCOLREADER_H

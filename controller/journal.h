#ifndef JOURNAL_H
#define JOURNAL_H

#include <QString>

class QIODevice;

// One kept measurement of a recorded run.
struct JournalEntry
{
    qint32 picket = 0;
    bool direction = true;  // true: picket numbers grow along the run
    float length = 0.0f;    // metres from the picket, a multiple of 0.25
    float v = 0.0f;         // vertical offset, mm
    float h = 0.0f;         // horizontal offset, mm
};

QString formatJournalRow(const JournalEntry &entry);
bool writeJournalHeader(QIODevice *device);
bool writeJournalRow(QIODevice *device, const JournalEntry &entry);

#endif // JOURNAL_H

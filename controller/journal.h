#ifndef JOURNAL_H
#define JOURNAL_H

#include <QString>

#include <vector>

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

// Rounded length of the most recent saveMeasure call in this process, -1 before
// the first one. It outlives every controller and every save on purpose: a
// trolley standing still across a save must not add the same spot twice.
extern float lastKeptLength;

// The distance kept in the journal: the nearest multiple of a quarter metre,
// halves away from zero (12.375 is kept as 12.5, -0.125 as -0.25).
float roundToQuarterMetre(float length);

// One CSV row without its line end, e.g. "12+;1234.50;5.250;-12.500;". Always
// a "." decimal point, whatever the locale.
QString formatJournalRow(const JournalEntry &entry);

// The writers return false when the device did not take every byte (or the
// Windows-1251 codec is missing, for the header).
bool writeJournalHeader(QIODevice *device);
bool writeJournalRow(QIODevice *device, const JournalEntry &entry);

// Header and every row, in order.
bool writeJournal(QIODevice *device, const std::vector<JournalEntry> &entries);

// The local path of a file URL as the save dialog gives it ("file:///C:/x.csv"
// gives "C:/x.csv", "file:///tmp/a%20b.csv" gives "/tmp/a b.csv"); empty for
// anything that is not a local file URL.
QString journalPathFromUrl(const QString &urlName);

#endif // JOURNAL_H

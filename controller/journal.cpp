#include "journal.h"
#include "tervalo.h"

// Placeholder until the journal lands.
QString formatJournalRow(const JournalEntry &) { return QString(); }
bool writeJournalHeader(QIODevice *) { return false; }
bool writeJournalRow(QIODevice *, const JournalEntry &) { return false; }

void Tervalo::saveMeasure(int, bool, float, float, float) {}
bool Tervalo::saveProtocol(QString) { return false; }
void Tervalo::writeRecoveryFile() {}

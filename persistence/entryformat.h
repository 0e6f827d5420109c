#ifndef ORVANDEL_ENTRYFORMAT_H
#define ORVANDEL_ENTRYFORMAT_H

#include "persistence/entrydata.h"

#include <QString>

// The text of the entries file, built from plain data.
namespace EntryFormat {

bool hasBonus(const EntryData &entry);
bool hasFlee(const EntryData &entry);
bool hasLuck(const EntryData &entry);

// An entry is worth saving when it has a text and something to play:
// a choice, a monster, a bonus, a flight or a test of luck.
bool isSaveable(const EntryData &entry);

// "E,B,O,L,A,F,S<special>,C" in that order, or "X" when none applies.
QString typeCodes(const EntryData &entry);

// The `Attr` element of one entry, from "\t<Attr" to "\t</Attr>".
QString entryXml(const EntryData &entry);

// The whole text of a new entries file holding one entry.
QString newFileText(const QString &rootName, const QString &entryXml);

// "000" to "999", then the number in full, so that ids never wrap round.
QString entryIdText(int number);

} // namespace EntryFormat

#endif

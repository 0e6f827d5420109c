#ifndef ORVANDEL_ENTRYID_H
#define ORVANDEL_ENTRYID_H

#include <QString>
#include <QStringView>

// Entry numbers, as ids and as the references that lead to them. The one
// place where a text is read as an entry number: the numbering of new
// entries, the checks, the map and the rules of the game all go through it.
class EntryId
{
public:
    // The largest number an entry may bear (nine digits).
    static constexpr int maximum = 999999999;

    // The number a text names: digits only, white space around them allowed,
    // "12" and "012" alike; -1 for anything else ("+1", "1e3", "fin", "",
    // more than nine digits).
    static int parse(QStringView text);

    // "000" to "999", then the number in full.
    static QString text(int number);
};

#endif

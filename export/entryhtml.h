#ifndef ORVANDEL_ENTRYHTML_H
#define ORVANDEL_ENTRYHTML_H

#include "book/book.h"

#include <QCoreApplication>
#include <QString>

// One entry as the reader reads it, in HTML: its number, its text, what it
// gives, its fights, flight, test of luck and choices written out as a
// printed gamebook writes them ("Si vous voulez ouvrir la porte,
// rendez-vous au 212."). The printed book and the book window's preview
// both show an entry this way; the preview adds what the author needs:
// references as links (a missing entry marked), a fight's odds, an ending
// said. An e-book prints the entry with each reference to an entry of the
// book as a link ("entry:INDEX", as the preview's), for its own pages to
// point at.
class EntryHtml
{
    Q_DECLARE_TR_FUNCTIONS(EntryHtml)

public:
    enum Use { Print, Preview, Ebook };
    static QString of(const Book &book, int index, Use use);
    // `entry` as if it stood in `book` (its references read there).
    static QString of(const Book &book, const Entry &entry, Use use);
    // A value as it stands in HTML text, line ends kept.
    static QString escaped(const QString &text);
    // A change of the sheet as gamebooks say it: "Ajoutez 2 points
    // d'ENDURANCE. Perdez 1 point de CHANCE." (empty for none).
    static QString bonusSentences(int habilete, int endurance, int chance);
    // What an object gives, in HTML: "Vous trouvez : Bourse de cuir,
    // 10 pièces d'or et 2 repas. Ajoutez 1 point de CHANCE."
    static QString findSentence(const Entry::Object &object);
};

#endif

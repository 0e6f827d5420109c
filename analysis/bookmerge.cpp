#include "analysis/bookmerge.h"

#include "analysis/renumbering.h"
#include "book/book.h"
#include "book/bookreader.h"
#include "book/entryid.h"
#include "book/entrywriter.h"
#include "book/xmltext.h"

#include <QHash>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <cstring>

namespace {

// The key that knows an entry in all three versions: its number ("042"
// and "42" alike) for the first entry that bears it, which the book's own
// table finds; anything else (an id that is not a number, the second entry
// under one number) a key below zero, the same for the same text in all
// three versions.
using Key = qint64;

class Keys
{
public:
    Key of(const QString &text)
    {
        const auto it = others.constFind(text);
        if (it != others.constEnd())
            return *it;
        return *others.insert(text, -1 - others.size());
    }

private:
    QHash<QString, Key> others;
};

// One of the three versions: its book and each entry's key.
struct Version
{
    Book book;
    QByteArray bytes;
    QByteArray lineEnd;
    QVector<Key> keys;
    QHash<Key, int> others; // the entries known by a key below zero

    bool read(const QByteArray &data, bool blankAllowed, const QString &which, Keys *known, QString *error)
    {
        if (XmlText::isBlank(data)) {
            if (blankAllowed)
                return true;
            *error = BookMerge::tr("%1 est vide").arg(which);
            return false;
        }
        BookReader reader;
        if (!reader.read(data)) {
            *error = BookMerge::tr("%1 n'est pas un livre lisible : %2").arg(which, reader.errorString());
            return false;
        }
        book = reader.book();
        bytes = book.bytes();
        lineEnd = book.encoded(QStringLiteral("\n"));
        keys.resize(book.size());
        QHash<QString, int> seen; // how many entries bore each id so far
        for (int i = 0; i < book.size(); ++i) {
            const int n = book.number(i);
            if (n >= 0 && book.indexOfNumber(n) == i) {
                keys[i] = n;
                continue;
            }
            const QString text = n >= 0 ? QString::number(n) : QLatin1Char('@') + book.entry(i).id;
            const int k = seen.value(text, n >= 0 ? 1 : 0);
            seen.insert(text, k + 1);
            keys[i] = known->of(k == 0 ? text : text + QLatin1Char('/') + QString::number(k));
            others.insert(keys.at(i), i);
        }
        return true;
    }
    int find(Key key) const { return key >= 0 ? book.indexOfNumber(int(key)) : others.value(key, -1); }
    // Entry i's element, not copied: kept beyond the merge, it is copied first.
    QByteArray element(int i) const
    {
        const Book::Span s = book.span(i);
        return QByteArray::fromRawData(bytes.constData() + s.begin, int(s.end - s.begin));
    }
    // The bytes between two entries' elements (`to` = size(): up to the root's end).
    QByteArray between(int from, int to) const
    {
        const qsizetype begin = book.span(from).end;
        const qsizetype end = to < book.size() ? book.span(to).begin : begin;
        return bytes.mid(int(begin), int(end - begin));
    }
};

bool sameBytes(const QByteArray &a, const QByteArray &b)
{
    return a.size() == b.size() && std::memcmp(a.constData(), b.constData(), size_t(a.size())) == 0;
}

// What comes before the entries up to its last tag's end (the prologue and
// the root's start tag), and what comes after them from the first tag on:
// no change of an entry ever reaches them.
QByteArray headOf(const Version &v)
{
    const QByteArray head = v.bytes.left(int(v.book.span(0).begin));
    return head.left(head.lastIndexOf('>') + 1);
}

QByteArray tailOf(const Version &v)
{
    const QByteArray tail = v.bytes.mid(int(v.book.span(v.book.size() - 1).end));
    const int tag = tail.indexOf('<');
    return tag < 0 ? QByteArray() : tail.mid(tag);
}

QString commentText(const QString &text)
{
    // "--" may not stand in a comment.
    QString safe = text;
    while (safe.contains(QLatin1String("--")))
        safe.replace(QLatin1String("--"), QLatin1String("- -"));
    return safe;
}

} // namespace

QString BookMerge::Conflict::describe(bool monster) const
{
    if (monster) {
        switch (kind) {
        case BothChanged: return tr("monstre « %1 » modifié des deux côtés").arg(id);
        case DeletedByUs: return tr("monstre « %1 » supprimé de ce côté, modifié de l'autre").arg(id);
        case DeletedByThem: return tr("monstre « %1 » modifié de ce côté, supprimé de l'autre").arg(id);
        case BothAdded: return tr("monstre « %1 » ajouté des deux côtés, différent").arg(id);
        case Outside: break;
        }
    }
    switch (kind) {
    case BothChanged: return tr("entrée %1 modifiée des deux côtés").arg(id);
    case DeletedByUs: return tr("entrée %1 supprimée de ce côté, modifiée de l'autre").arg(id);
    case DeletedByThem: return tr("entrée %1 modifiée de ce côté, supprimée de l'autre").arg(id);
    case BothAdded: return tr("entrée %1 ajoutée des deux côtés, différente").arg(id);
    case Outside: return tr("le début ou la fin du fichier, hors des entrées, modifiés des deux côtés");
    }
    return QString();
}

bool BookMerge::merge(const QByteArray &base, const QByteArray &ours, const QByteArray &theirs)
{
    merged.clear();
    conflictList.clear();
    conflictElements.clear();
    moveList.clear();
    error.clear();
    Keys known;
    Version b, o, t;
    if (!b.read(base, true, tr("la version d'origine"), &known, &error)
        || !o.read(ours, false, tr("notre version"), &known, &error)
        || !t.read(theirs, false, tr("leur version"), &known, &error))
        return false;
    if (!o.book.isWritable()) {
        error = o.book.whyNotWritable();
        return false;
    }
    rootName = o.book.rootName();
    // Theirs' bytes go into ours as they are when both are UTF-8, with
    // ours' line ends; an entry of a book in another encoding is written anew.
    const bool carryBytes = t.book.isWritable();
    const auto carried = [&](QByteArray bytes) {
        if (t.lineEnd != o.lineEnd) {
            bytes.replace(t.lineEnd, "\n");
            if (o.lineEnd != "\n")
                bytes.replace("\n", o.lineEnd);
        }
        return bytes;
    };

    // What theirs changed: its entries that are not in the base as they were.
    QVector<bool> theirsChanged(t.book.size());
    for (int i = 0; i < t.book.size(); ++i) {
        const int was = b.find(t.keys.at(i));
        theirsChanged[i] = was < 0 || !sameBytes(t.element(i), b.element(was));
    }

    // Entries added on both sides under one number, different: theirs
    // takes a number no entry and no reference of either side bears.
    QMap<int, int> moved;
    QSet<int> used;
    int next = -1;
    for (int i = 0; i < t.book.size(); ++i) {
        const Key key = t.keys.at(i);
        const int mine = o.find(key);
        if (b.find(key) >= 0 || mine < 0 || sameBytes(o.element(mine), t.element(i))
            || o.book.entry(mine) == t.book.entry(i))
            continue;
        const int n = t.book.number(i);
        if (key < 0 || moved.contains(n)) {
            conflictList.append({Conflict::BothAdded, t.book.entry(i).id});
            const QByteArray element = t.element(i);
            conflictElements.append(carryBytes ? QByteArray(element.constData(), element.size())
                                               : o.book.encoded(EntryWriter::elementXml(t.book.entry(i))));
            continue;
        }
        if (next < 0) {
            // The numbers past every entry's that a reference names, dangling.
            next = qMax(o.book.nextNumber(), t.book.nextNumber());
            const auto note = [&](const QString &text) {
                const int target = EntryId::parse(text);
                if (target >= next)
                    used.insert(target);
            };
            for (const Version *v : {&o, &t})
                for (int k = 0; k < v->book.size(); ++k) {
                    const Entry &e = v->book.entry(k);
                    for (const Entry::Choice &c : e.choices)
                        note(c.value);
                    for (const Entry::Monster &m : e.monsters)
                        note(m.victory);
                    note(e.flee.ref);
                    note(e.luck.luckyValue);
                    note(e.luck.unluckyValue);
                }
        }
        while (next >= 0 && used.contains(next) && next < EntryId::maximum)
            ++next;
        if (next < 0 || used.contains(next)) {
            error = tr("le livre n'a plus de numéro libre pour l'entrée %1").arg(t.book.entry(i).id);
            return false;
        }
        used.insert(next);
        moved.insert(n, next);
        moveList.append({t.book.entry(i).id, EntryId::text(next)});
    }

    // Theirs' changed entries as they come into the merge: with the moved
    // numbers, and with ours' encoding.
    const Renumbering renumbering = Renumbering::moving(moved);
    QHash<int, QByteArray> theirElement;
    QHash<int, Entry> theirEntry;
    QVector<Key> theirKey = t.keys;
    QHash<Key, int> theirMoves; // theirs' entries found by their new numbers, and not by the old
    const auto theirFind = [&](Key key) {
        const auto it = theirMoves.constFind(key);
        return it != theirMoves.constEnd() ? *it : t.find(key);
    };
    for (int i = 0; i < t.book.size(); ++i) {
        if (!theirsChanged.at(i))
            continue;
        QByteArray element;
        Entry entry = t.book.entry(i);
        if (!moved.isEmpty()) {
            const Entry renumbered = renumbering.renumbered(entry);
            if (renumbered != entry) {
                if (carryBytes)
                    element = renumbering.element(t.book, i, t.bytes);
                entry = renumbered;
            }
        }
        if (!carryBytes)
            element = o.book.encoded(EntryWriter::elementXml(entry));
        else if (element.isNull())
            element = t.element(i);
        theirElement.insert(i, carried(QByteArray(element.constData(), element.size())));
        const int n = t.book.number(i);
        if (moved.contains(n) && theirKey.at(i) == n && EntryId::parse(entry.id) == moved.value(n)) {
            theirMoves.insert(n, -1);
            theirKey[i] = moved.value(n);
            theirMoves.insert(theirKey.at(i), i);
        }
        theirEntry.insert(i, std::move(entry));
    }
    const auto conflict = [&](Conflict::Kind kind, const QString &id, int their) {
        conflictList.append({kind, id});
        conflictElements.append(their >= 0 ? theirElement.value(their) : QByteArray());
    };

    // What becomes of each of ours' entries.
    QVector<int> replaceBy(o.book.size(), -1);
    QVector<bool> remove(o.book.size(), false);
    for (int i = 0; i < o.book.size(); ++i) {
        const Key key = o.keys.at(i);
        const int was = b.find(key), their = theirFind(key);
        if (was < 0)
            continue; // ours' new entry; theirs' of the same number was seen above
        const bool oursChanged = !sameBytes(o.element(i), b.element(was));
        if (their < 0) {
            if (!oursChanged || o.book.entry(i) == b.book.entry(was))
                remove[i] = true;
            else
                conflict(Conflict::DeletedByThem, o.book.entry(i).id, -1);
            continue;
        }
        if (!theirsChanged.at(their))
            continue;
        if (!oursChanged || o.book.entry(i) == b.book.entry(was)) {
            replaceBy[i] = their; // ours at most wrote it anew, the same
            continue;
        }
        if (sameBytes(o.element(i), theirElement.value(their)) || o.book.entry(i) == theirEntry.value(their)
            || theirEntry.value(their) == b.book.entry(was))
            continue;
        conflict(Conflict::BothChanged, o.book.entry(i).id, their);
    }

    // Theirs' entries that ours has not: deleted by ours, or new. A new
    // entry goes after the entry it follows in theirs that ours has too.
    QMap<int, QVector<int>> insertAfter;
    int anchor = -1;
    for (int i = 0; i < t.book.size(); ++i) {
        const Key key = theirKey.at(i);
        const int mine = o.find(key);
        if (mine >= 0) {
            anchor = mine;
            continue;
        }
        const int was = b.find(key);
        if (was >= 0) {
            if (theirsChanged.at(i) && theirEntry.value(i) != b.book.entry(was))
                conflict(Conflict::DeletedByUs, t.book.entry(i).id, i);
            continue;
        }
        insertAfter[anchor].append(i);
    }

    // The model's edits of ours' book, each worked out on ours as it was
    // read (none reaches another's bytes), then made in one pass.
    const auto gap = [&](int i, bool before) {
        if (!carryBytes)
            return o.lineEnd + '\t';
        const QByteArray bytes = before ? (i > 0 ? t.between(i - 1, i) : QByteArray())
                                        : (i + 1 < t.book.size() ? t.between(i, i + 1) : QByteArray());
        return bytes.isEmpty() ? o.lineEnd + '\t' : carried(bytes);
    };
    if (o.book.isEmpty()) {
        // Nothing to go after: theirs' entries follow one another.
        Book book = o.book;
        for (const int i : insertAfter.value(-1))
            book.apply(book.appending(theirEntry.value(i)));
        merged = book.bytes();
    } else {
        QVector<Book::Edit> edits;
        int first = -1; // ours' first entry that stays
        for (int a = 0; a < o.book.size(); ++a) {
            if (remove.at(a)) {
                edits.append(o.book.removing(a));
                continue;
            }
            if (first < 0)
                first = a;
            if (replaceBy.at(a) >= 0) {
                Book::Edit edit;
                edit.kind = Book::Edit::Replace;
                edit.index = a;
                edit.at = o.book.span(a).begin;
                edit.removed = o.book.span(a).end - edit.at;
                edit.inserted = theirElement.value(replaceBy.at(a));
                edits.append(edit);
            }
            if (insertAfter.contains(a)) {
                Book::Edit edit;
                edit.kind = Book::Edit::Insert;
                edit.index = a + 1;
                edit.at = o.book.span(a).end;
                for (const int i : insertAfter.value(a))
                    edit.inserted += gap(i, true) + theirElement.value(i);
                edits.append(edit);
            }
        }
        if (insertAfter.contains(-1)) {
            // Before the first entry that stays; before all that go when none does.
            Book::Edit edit;
            edit.kind = Book::Edit::Insert;
            edit.index = 0;
            edit.at = first >= 0 ? o.book.span(first).begin : edits.first().at;
            for (const int i : insertAfter.value(-1))
                edit.inserted += theirElement.value(i) + gap(i, false);
            edits.append(edit);
        }
        // In the file's order; where an entry comes in and another goes at
        // the same place, the new one first.
        std::stable_sort(edits.begin(), edits.end(), [](const Book::Edit &x, const Book::Edit &y) {
            return x.at < y.at || (x.at == y.at && x.removed == 0 && y.removed > 0);
        });
        qsizetype size = o.bytes.size();
        for (const Book::Edit &edit : qAsConst(edits))
            size += edit.inserted.size() - edit.removed;
        merged.reserve(int(size));
        qsizetype from = 0;
        for (const Book::Edit &edit : qAsConst(edits)) {
            merged.append(o.bytes.constData() + from, int(edit.at - from));
            merged.append(edit.inserted);
            from = edit.at + edit.removed;
        }
        merged.append(o.bytes.constData() + from, int(o.bytes.size() - from));
    }

    // The prologue and the root's tags, and what follows the root: taken
    // from theirs when only theirs changed them.
    if (!b.book.isEmpty() && !o.book.isEmpty() && !t.book.isEmpty()) {
        const QByteArray baseHead = headOf(b), ourHead = headOf(o), theirHead = headOf(t);
        const QByteArray baseTail = tailOf(b), ourTail = tailOf(o), theirTail = tailOf(t);
        bool outside = false;
        if (theirHead != baseHead && theirHead != ourHead) {
            if (ourHead == baseHead)
                merged.replace(0, ourHead.size(), carried(theirHead));
            else
                outside = true;
        }
        if (theirTail != baseTail && theirTail != ourTail) {
            if (ourTail == baseTail)
                merged.replace(merged.size() - ourTail.size(), ourTail.size(), carried(theirTail));
            else
                outside = true;
        }
        if (outside)
            conflict(Conflict::Outside, QString(), -1);
    }
    return true;
}

QByteArray BookMerge::conflictBook() const
{
    if (conflictList.isEmpty())
        return QByteArray();
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + rootName.toUtf8() + ">\n";
    for (int k = 0; k < conflictList.size(); ++k) {
        const Conflict &c = conflictList.at(k);
        QString note;
        switch (c.kind) {
        case Conflict::BothChanged:
            note = tr("%1 : le livre garde notre version ; voici la leur.").arg(c.describe());
            break;
        case Conflict::DeletedByUs:
            note = tr("%1 : le livre ne l'a plus ; voici leur version.").arg(c.describe());
            break;
        case Conflict::DeletedByThem:
            note = tr("%1 : le livre garde notre version.").arg(c.describe());
            break;
        case Conflict::BothAdded:
            note = tr("%1 : le livre garde la nôtre ; voici la leur.").arg(c.describe());
            break;
        case Conflict::Outside:
            note = tr("%1 : le livre garde les nôtres.").arg(c.describe());
            break;
        }
        out += "\t<!-- " + commentText(note).toUtf8() + " -->\n";
        // The conflict book has line feeds of its own.
        QByteArray element = conflictElements.at(k);
        element.replace("\r\n", "\n");
        if (!element.isEmpty())
            out += '\t' + element + '\n';
    }
    return out + "</" + rootName.toUtf8() + ">\n";
}

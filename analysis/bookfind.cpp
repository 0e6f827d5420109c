#include "analysis/bookfind.h"

#include <QHash>

namespace {

// One character (a surrogate pair counts as one) as the filter folds it:
// decomposed, its accents dropped, its case folded.
QString foldOne(const QString &character)
{
    thread_local QHash<QString, QString> seen;
    const auto it = seen.constFind(character);
    if (it != seen.constEnd())
        return *it;
    const QString decomposed = character.normalized(QString::NormalizationForm_D);
    QString out;
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            out += c;
    out = out.toCaseFolded();
    if (seen.size() < 4096)
        seen.insert(character, out);
    return out;
}

} // namespace

BookFind::BookFind(const QString &words)
    : wanted(folded(words))
{
}

QString BookFind::folded(const QString &text, QVector<int> *from)
{
    QString out;
    out.reserve(text.size());
    if (from) {
        from->clear();
        from->reserve(text.size() + 1);
    }
    for (int i = 0; i < text.size();) {
        const ushort c = text.at(i).unicode();
        int units = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            units = 2;
        QString one;
        if (c < 0x80)
            one = QChar(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
        else
            one = foldOne(text.mid(i, units));
        out += one;
        if (from)
            for (int k = 0; k < one.size(); ++k)
                from->append(i);
        i += units;
    }
    if (from)
        from->append(text.size());
    return out;
}

QVector<QPair<int, int>> BookFind::spans(const QString &text) const
{
    QVector<QPair<int, int>> found;
    if (wanted.isEmpty() || text.isEmpty())
        return found;
    QVector<int> from;
    const QString haystack = folded(text, &from);
    for (int at = haystack.indexOf(wanted); at >= 0; at = haystack.indexOf(wanted, at + wanted.size())) {
        // A match ends after the last character it covers, marks included.
        const int begin = from.at(at);
        int end = from.at(at + wanted.size());
        if (end == begin)
            continue;
        found.append({begin, end - begin});
    }
    return found;
}

const QString &BookFind::fieldText(const Entry &entry, Field field, int item)
{
    switch (field) {
    case Text: return entry.text;
    case Choice: return entry.choices.at(item).text;
    case Monster: return entry.monsters.at(item).name;
    case Object: return entry.objects.at(item).text;
    case ObjectOther: return entry.objects.at(item).other;
    case Lucky: return entry.luck.luckyText;
    case Unlucky: return entry.luck.unluckyText;
    case Special: return entry.types.specialText;
    }
    return entry.text;
}

QVector<BookFind::Match> BookFind::in(const Entry &entry, int index) const
{
    QVector<Match> matches;
    const auto look = [&](Field field, int item) {
        for (const auto &span : spans(fieldText(entry, field, item)))
            matches.append({index, field, item, span.first, span.second});
    };
    look(Text, 0);
    for (int k = 0; k < entry.choices.size(); ++k)
        look(Choice, k);
    for (int k = 0; k < entry.monsters.size(); ++k)
        look(Monster, k);
    for (int k = 0; k < entry.objects.size(); ++k) {
        look(Object, k);
        look(ObjectOther, k);
    }
    look(Lucky, 0);
    look(Unlucky, 0);
    look(Special, 0);
    return matches;
}

QVector<BookFind::Match> BookFind::in(const Book &book) const
{
    QVector<Match> matches;
    if (wanted.isEmpty())
        return matches;
    for (int i = 0; i < book.size(); ++i)
        matches += in(book.entry(i), i);
    return matches;
}

Entry BookFind::replaced(Entry entry, const QString &with) const
{
    const auto replace = [&](QString &text) {
        const QVector<QPair<int, int>> found = spans(text);
        for (int k = found.size() - 1; k >= 0; --k)
            text.replace(found.at(k).first, found.at(k).second, with);
    };
    replace(entry.text);
    for (Entry::Choice &c : entry.choices)
        replace(c.text);
    for (Entry::Monster &m : entry.monsters)
        replace(m.name);
    for (Entry::Object &o : entry.objects) {
        replace(o.text);
        replace(o.other);
    }
    replace(entry.luck.luckyText);
    replace(entry.luck.unluckyText);
    replace(entry.types.specialText);
    return entry;
}

BookFile::Change BookFind::replaceAll(const Book &book, const QString &with, int *entries, int *matches) const
{
    BookFile::Change change;
    int changed = 0, replacedCount = 0;
    QByteArray source; // the file's bytes, read once when there is something to replace
    for (int i = 0; i < book.size() && !wanted.isEmpty(); ++i) {
        const int found = in(book.entry(i), i).size();
        if (found == 0)
            continue;
        const Entry after = replaced(book.entry(i), with);
        if (after == book.entry(i))
            continue; // replaced by the same text
        if (source.isNull())
            source = book.bytes();
        const Book::Edit edit = book.replacing(i, after);
        change.pieces.append({edit.at, source.mid(edit.at, edit.removed), edit.inserted});
        ++changed;
        replacedCount += found;
    }
    if (entries)
        *entries = changed;
    if (matches)
        *matches = replacedCount;
    return change;
}

QString BookFind::fieldName(const Match &match)
{
    switch (match.field) {
    case Text: return tr("texte");
    case Choice: return tr("choix %1").arg(match.item + 1);
    case Monster: return tr("monstre %1").arg(match.item + 1);
    case Object: return tr("objet %1").arg(match.item + 1);
    case ObjectOther: return tr("objet %1 (autre)").arg(match.item + 1);
    case Lucky: return tr("chance");
    case Unlucky: return tr("malchance");
    case Special: return tr("type spécial");
    }
    return QString();
}

QString BookFind::context(const Entry &entry, const Match &match, int around)
{
    const QString &text = fieldText(entry, match.field, match.item);
    const int begin = qMax(0, match.at - around), end = qMin(text.size(), match.at + match.length + around);
    QString shown = text.mid(begin, end - begin);
    shown.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return (begin > 0 ? QStringLiteral("…") : QString()) + shown + (end < text.size() ? QStringLiteral("…") : QString());
}

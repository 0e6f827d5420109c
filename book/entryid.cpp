#include "book/entryid.h"

int EntryId::parse(QStringView text)
{
    const QStringView t = text.trimmed();
    if (t.isEmpty() || t.size() > 9)
        return -1;
    int value = 0;
    for (const QChar c : t) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

QString EntryId::text(int number)
{
    if (number >= 0 && number < 1000)
        return QString::number(number).rightJustified(3, QLatin1Char('0'));
    return QString::number(number);
}

#include "monsters/monsterfile.h"

#include "persistence/xmltext.h"

#include <QXmlStreamReader>

namespace MonsterFile {

bool read(const QByteArray &bytes, QVector<MonsterRow> *rows)
{
    rows->clear();
    QVector<MonsterRow> found;
    QXmlStreamReader reader(bytes); // decodes by the file's own declaration
    reader.setNamespaceProcessing(false);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth == 2) {
                const QXmlStreamAttributes attributes = reader.attributes();
                found.append({attributes.value(QLatin1String("Name")).toString(),
                              attributes.value(QLatin1String("Habilete")).toString(),
                              attributes.value(QLatin1String("Endurance")).toString()});
            }
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        return false;
    *rows = found;
    return true;
}

QByteArray write(const QVector<MonsterRow> &rows)
{
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Monsters>\n");
    text.reserve(text.size() + rows.size() * 96 + 16);
    for (int i = 0; i < rows.size(); ++i) {
        const MonsterRow &row = rows.at(i);
        text += QLatin1String("\t<Elem id=\"");
        text += QString::number(i);
        text += QLatin1String("\" Name=\"");
        text += xmlEscaped(row.name, XmlPlace::Attribute, XmlCharset::Latin1);
        text += QLatin1String("\" Habilete=\"");
        text += xmlEscaped(row.habilete, XmlPlace::Attribute, XmlCharset::Latin1);
        text += QLatin1String("\" Endurance=\"");
        text += xmlEscaped(row.endurance, XmlPlace::Attribute, XmlCharset::Latin1);
        text += QLatin1String("\"/>\n");
    }
    text += QLatin1String("</Monsters>");
    // Every character past U+00FF is a reference by now, so nothing is lost.
    return text.toLatin1();
}

} // namespace MonsterFile

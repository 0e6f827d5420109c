#include "book/monsterlist.h"

#include "book/atomicfile.h"
#include "book/xmltext.h"

#include <QXmlStreamReader>

bool MonsterList::read(QIODevice *device)
{
    rows.clear();
    error.clear();
    QVector<MonsterRow> found;
    QXmlStreamReader reader(device); // decodes by the file's own declaration
    reader.setNamespaceProcessing(false);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            if (!reader.entityDeclarations().isEmpty())
                reader.raiseError(tr("le fichier déclare des entités"));
            break;
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
    if (reader.hasError()) {
        error = tr("ligne %1, colonne %2 : %3")
                    .arg(reader.lineNumber())
                    .arg(reader.columnNumber())
                    .arg(reader.errorString());
        return false;
    }
    rows = found;
    return true;
}

QByteArray MonsterList::toBytes() const
{
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Monsters>\n");
    text.reserve(text.size() + rows.size() * 96 + 16);
    for (int i = 0; i < rows.size(); ++i) {
        const MonsterRow &row = rows.at(i);
        text += QLatin1String("\t<Elem id=\"");
        text += QString::number(i);
        text += QLatin1String("\" Name=\"");
        text += XmlText::escaped(row.name, XmlPlace::Attribute, XmlCharset::Latin1);
        text += QLatin1String("\" Habilete=\"");
        text += XmlText::escaped(row.habilete, XmlPlace::Attribute, XmlCharset::Latin1);
        text += QLatin1String("\" Endurance=\"");
        text += XmlText::escaped(row.endurance, XmlPlace::Attribute, XmlCharset::Latin1);
        text += QLatin1String("\"/>\n");
    }
    text += QLatin1String("</Monsters>");
    // Every character past U+00FF is a reference by now, so nothing is lost.
    return text.toLatin1();
}

bool MonsterList::write(QIODevice *device) const
{
    return AtomicFile::writeAll(*device, toBytes(), &error);
}

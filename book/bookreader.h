#ifndef ORVANDEL_BOOKREADER_H
#define ORVANDEL_BOOKREADER_H

#include "book/book.h"

#include <QCoreApplication>
#include <QString>

class QIODevice;

// Reads an entries file into a Book in one pass, losing nothing that a
// rewrite of an entry must keep. Every element child of the root is an
// entry, whatever its tag name. Anything that is not well-formed XML 1.0 is
// refused, and so are entity declarations (an entity expanded a million
// times would fill the memory).
class BookReader
{
    Q_DECLARE_TR_FUNCTIONS(BookReader)

public:
    bool read(QIODevice *device);
    bool read(const QByteArray &bytes);
    Book &book() { return result; }
    QString errorString() const { return error; }

    // One entry's element on its own, as EntryWriter writes it.
    static Entry readElement(const QByteArray &element);

    // Books in UTF-8 are read by a fast scanner of their own, anything else
    // by QXmlStreamReader; off, every file goes through QXmlStreamReader
    // (the scanner must read every book alike, which is how it is tested).
    void setFastPath(bool on) { fast = on; }

    // More attributes than this on one element, and the file is refused.
    static constexpr int maximumAttributes = 1000;

private:
    bool scan(const QByteArray &bytes);
    bool readChecked(const QByteArray &bytes);
    void findInsertionPoint(qsizetype rootEnd);

    Book result;
    QString error;
    bool fast = true;
};

#endif

#ifndef ORVANDEL_REFERENCESPANS_H
#define ORVANDEL_REFERENCESPANS_H

#include "book/book.h"

#include <QVector>

// Where an entry's element writes its own number and each of its
// references: the bytes of the attribute values (between the quotes), in
// the book's bytes, found as the book reader finds the values. A change of
// numbers rewrites these bytes and nothing else.
struct ReferenceSpans
{
    // begin < 0 when the element holds no such attribute.
    using Span = Book::Span;
    static constexpr Span none{-1, -1};

    Span id = none;
    QVector<Span> choices, victories; // one per choice, one per monster
    Span flight = none, lucky = none, unlucky = none;

    // The spans of entry `index` of a book read whole and well-formed,
    // whose bytes are `bytes` (Book::bytes(), asked for once for all entries).
    static ReferenceSpans of(const Book &book, int index, const QByteArray &bytes);
};

#endif

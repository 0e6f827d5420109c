#ifndef ORVANDEL_LAYEREDLAYOUT_H
#define ORVANDEL_LAYEREDLAYOUT_H

#include "analysis/maplayout.h"

// A book's map in layers, read from the top down as the adventure goes: the
// first entry alone on top, each entry one layer below the nearest entry
// that leads to it (the fewest steps from the start), the entries no way
// reaches below all the others. Within a layer the boxes stand in the order
// that keeps arrows short and uncrossed as far as a few sweeps can (each box
// at the mean place of those it is linked to, down then up); arrows are
// straight. Linear in the boxes and arrows, once per sweep: a thousand
// entries in milliseconds, where Graphviz's layered layout takes minutes.
class LayeredLayout
{
public:
    // Sets every box of `map` (its size from its label) and every arrow.
    static void place(MapLayout *map);
};

#endif

#include "entry/entryui.h"

void EntryUI::saveEntry()
{
}

#ifndef DUTMAC_H
#define DUTMAC_H

#include "tooloutput.h"

#include <QString>

// The MAC of the DUT at `index` (from 0) of a cycle: the golden machine's
// address plus index + 1, as one 48-bit number, so a last group past ff
// carries into the groups before it. Written as six two-digit lower-case
// hexadecimal groups joined by ":". False when the sum would pass
// ff:ff:ff:ff:ff:ff.
bool dutMacFor(const toolOutput::macBytes &golden, int index, QString *mac);

#endif // DUTMAC_H

#ifndef SCREENSCALING_H
#define SCREENSCALING_H

// How Benchmate's window follows the screen's scale (125 %, 150 % ... on
// Windows). Called before the application object is built. The window
// scales with the screen under either Qt (Qt 6 always does, Qt 5 only when
// asked), in whole steps as Qt 5 does: a 150 % screen draws it at 2, not at
// 1.5 as Qt 6 would by default. QT_SCALE_FACTOR_ROUNDING_POLICY still
// overrides the rounding on a station that wants otherwise.
void setUpScreenScaling();

#endif // SCREENSCALING_H

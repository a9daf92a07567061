#pragma once

// The extents of the window and of everything in it, in window coordinates,
// on the desktop's accessibility bus (AT-SPI), as automation and magnifiers
// read them: each object's rectangle moved by the top left corner of its
// window (or dialog), its size unchanged. Qt's bridge of Qt 6.4 (Debian 12)
// keeps each rectangle's right and bottom edges in screen coordinates there,
// so the window of 536 x 392 at (372, 254) reads as 908 x 646 at (0, 0).
// Those two questions (the extents, and whether a point is inside) in window
// coordinates are answered here instead, on every Qt, once the bridge is on
// the bus; the bridge answers every other as before. Called once, as the
// accessible interfaces are installed (installAccessibleInterfaces).
void mendWindowCoordinates();

#pragma once

// While the window's QApplication is made, Qt opens the display: the platform
// named by -platform or QT_QPA_PLATFORM, else the X display of -display or
// DISPLAY, or the Wayland display of WAYLAND_DISPLAY. Where none opens, Qt
// would abort with a page of its own; instead the process ends with status 1
// after one line on standard error that names the display, how it was named,
// and, where Qt lacks the platform plugin for it, the Debian package that has
// it (qt6-wayland).
//
// The watch is on from watchDisplayOpening() to displayOpened(); what Qt says
// meanwhile of its platform plugins is held back, and passed on once the
// display is open.
void watchDisplayOpening(int argc, char *argv[]);
void displayOpened();

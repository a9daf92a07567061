#pragma once

// The accessible interfaces of the window's own widgets, which Qt cannot know:
// the result list as a table (AccessibleResultView.h) and the progress bar
// as a progress bar with a value. Installs them once; the widgets call it
// when they are made. Also puts a filter before the platform's bridge that
// keeps back the events a reader would speak twice (quietFocusSelection),
// and mends the extents in window coordinates on the bus (WindowCoordinates.h).
void installAccessibleInterfaces();

class QLineEdit;
class QString;
class QWidget;

// A line edit selects its text as the Tab key brings the focus in and clears
// the selection as the focus leaves. A reader would speak both besides the
// focus ("200 selected", "Text unselected"): those selection and caret
// events are kept back; what the screen shows does not change.
void quietFocusSelection(QLineEdit *edit);

// Tells a screen reader something that happened without moving the focus,
// such as the end of a long command: an announcement where Qt has them, and
// elsewhere a notification of the window that readers speak as it shows.
// `context` is any widget of the window; nothing changes on screen.
void announce(QWidget *context, const QString &text);

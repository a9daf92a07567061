#pragma once

// The accessible interfaces of the window's own widgets, which Qt cannot know:
// the result list as a table (AccessibleResultView.h) and the progress bar
// as a progress bar with a value. Installs them once; the widgets call it
// when they are made.
void installAccessibleInterfaces();

class QString;
class QWidget;

// Tells a screen reader something that happened without moving the focus,
// such as the end of a long command: an announcement where Qt has them, and
// elsewhere a notification of the window that readers speak as it shows.
// `context` is any widget of the window; nothing changes on screen.
void announce(QWidget *context, const QString &text);


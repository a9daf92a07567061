#pragma once

// The accessible interfaces of the window's own widgets, which Qt cannot know:
// the result list as a table (AccessibleResultView.h) and the progress bar
// as a progress bar with a value. Installs them once; the widgets call it
// when they are made. Also puts a filter before the platform's bridge that
// keeps back the events a reader would speak twice (quietFocusSelection),
// and mends the extents in window coordinates on the bus (WindowCoordinates.h).
void installAccessibleInterfaces();

#include <QtGlobal>

class QLineEdit;
class QString;
class QWidget;

// A line edit selects its text as the Tab key brings the focus in and clears
// the selection as the focus leaves. A reader would speak both besides the
// focus ("200 selected", "Text unselected"): those selection and caret
// events are kept back; what the screen shows does not change.
void quietFocusSelection(QLineEdit *edit);

// A count as every announcement says it: "1,000,000".
QString spokenCount(qint64 count);

// Tells a screen reader something that happened without moving the focus,
// such as the end of a long command: an announcement where Qt has them, and
// elsewhere a notification of the window that readers speak as it shows.
// `context` is any widget of the window; nothing changes on screen.
void announce(QWidget *context, const QString &text);

// What a screen reader is left with once a dialog is gone; put one around
// each dialog, made before it and ending after it.
//
// While alive, it notes the accessible interfaces made meanwhile; as it
// ends, it drops those of them that are dead and have no object of their
// own, which nothing would drop. A dialog's item views leave such interfaces
// behind (the cells and headers a reader asked for), and a reader that asks
// about one after the dialog closed must find it gone, as it finds the
// dialog's widgets, and not hand the bridge a dead object.
//
// As the dialog goes, the window manager's and Qt's news of which window is
// active may cross, so that the last a reader hears of `window` is that it
// was deactivated, while it is active: such a reader finds no focus in it
// until the next window comes and goes. Once the window's activation has
// settled, a reader is told again that it is active and where its focus is;
// one that knew makes nothing of it.
class DialogAftermath
{
public:
    explicit DialogAftermath(QWidget *window);
    ~DialogAftermath();
    DialogAftermath(const DialogAftermath &) = delete;
    DialogAftermath &operator=(const DialogAftermath &) = delete;

private:
    QWidget *const m_window;
    const unsigned m_first; // the id the next interface made takes
};

#pragma once

class QWidget;

// SIGTERM, SIGHUP and SIGINT (the session ending, the terminal closing, ^C)
// end the window promptly at any time, a modal message up or not, as its
// close button would, so that its close handling runs and nothing is lost.
//
// From the first such signal on, terminationRequested() is true: the window's
// own dialogs no longer wait for an answer (a message becomes one line on
// standard error, an error report with its source and step, a save dialog is
// cancelled), every dialog that is open is
// cancelled, and the window closes once the event loop runs.

// Catches the signals from now on; before the window exists, a signal is kept
// for closeOnTermination() and main to act on.
void catchTerminationSignals();
// Closes `window` when one of the signals comes (at once when one came already).
void closeOnTermination(QWidget *window);
bool terminationRequested();

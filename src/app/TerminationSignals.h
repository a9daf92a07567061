#pragma once

class QWidget;

// Closes `window` like its close button when the process is asked to end
// (SIGTERM, SIGHUP, SIGINT: the session ending, the terminal closing), so
// that its close handling runs and nothing is lost.
void closeOnTermination(QWidget *window);

#pragma once

// The accessible interfaces of the window's own widgets, which Qt cannot know:
// the result list as a table (AccessibleResultView.h) and the progress bar
// as a progress bar with a value. Installs them once; the widgets call it
// when they are made.
void installAccessibleInterfaces();

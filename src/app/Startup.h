// The program's run from start to end: shared state, windows, data module, event loop,
// shutdown. main() is this plus the application object.
#pragma once

#include <QStringList>

// Prepares the process before any window exists: sets up the table store's back ends, finds
// the settings folder and opens the common settings file, then applies the "BRUKER" switch of `parameters` (the command
// line's words after the program name). A settings file that cannot be read is reported
// and the run goes on with empty settings.
void PrepareProcess(const QStringList& parameters);

// Creates the conversion window (the main window), the data module (which signs on and opens
// the table groups), the alias dialog, the fatal error window and the message window, runs
// the event loop until the main window closes or the application is asked to end, and shuts
// down: windows and data module destroyed, settings written back. Returns the exit code (0).
// A failed sign-on ends the process through the exit seam with its code.
// REQUIRES: an application object exists and PrepareProcess has run.
int RunProgram(const QStringList& parameters);

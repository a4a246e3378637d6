// Ending the process at once with an exit code (sign-on failures, "Avbryt program").
#pragma once

#include <functional>

// Receives the exit code instead of the process ending; may record it, throw or return.
using EndProcessHandler = std::function<void(int code)>;

// Ends the process now with code: no destructors, no exit handlers, no orderly shutdown.
// Returns only when an installed handler returns; throws what the handler throws.
void EndProcess(int code);

// Installs handler for every later EndProcess; an empty function restores the real ending.
void SetEndProcessHandler(EndProcessHandler handler);

// Asks the application to terminate, as the close of the main window would: the event loop
// ends as soon as it runs (at once when it is running). Remembered for the rest of the run.
void RequestTerminate();
// True once RequestTerminate has been called (start-up skips what a terminating run skips).
bool TerminateRequested();
// Forgets an earlier request (tests that start the program several times in one process).
void ResetTerminateRequest();

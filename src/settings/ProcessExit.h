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

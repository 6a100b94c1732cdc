// SIGTERM and SIGHUP (a logout, a shutdown, a closed terminal) turned into a
// call on the event loop, so that the program can run its normal exit
// instead of ending where it stands. The signal handler only writes a byte
// to a pipe; a socket notifier on the other end makes the call, where any
// Qt call is safe.
#pragma once

#include <functional>

// Calls onSignal on the event loop for each SIGTERM or SIGHUP from now on.
// Installing again replaces the call.
void WatchExitSignals(std::function<void()> onSignal);
// Gives both signals their default action back.
void StopWatchingExitSignals();

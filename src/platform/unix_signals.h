#pragma once

#include <functional>

namespace qb::platform {

// SIGTERM and SIGINT end the event loop like a normal quit (through a self-pipe), so
// nothing is left half-written. Call once, after the application object exists.
void quitOnTerminationSignals();

// Runs `handler` on the event loop each time `signal` arrives (through the same self-pipe).
void onUnixSignal(int signal, std::function<void()> handler);

}  // namespace qb::platform

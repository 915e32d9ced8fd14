#pragma once

namespace qb::platform {

// SIGTERM and SIGINT end the event loop like a normal quit (through a self-pipe), so
// nothing is left half-written. Call once, after the application object exists.
void quitOnTerminationSignals();

}  // namespace qb::platform

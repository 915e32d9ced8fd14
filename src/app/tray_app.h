#pragma once

namespace qb {

// A display server to draw on: X11 or Wayland.
bool hasGraphicalSession();

// The tray application: one per profile, until the user quits (or SIGTERM / SIGINT).
int runTrayApp(int& argc, char** argv);

}  // namespace qb

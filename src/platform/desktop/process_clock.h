#pragma once

#include <QElapsedTimer>

namespace qb::platform {

// Milliseconds since main() began (it touches this first), for the start-up figures.
inline QElapsedTimer& processClock() {
  static QElapsedTimer clock = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return clock;
}

}  // namespace qb::platform

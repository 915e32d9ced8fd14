#pragma once

#include <QString>
#include <optional>
#include <variant>

#include "updater/update_info.h"

namespace qb {

// The phases of an update, compared by value. Each case carries its payload.
namespace update_state {

struct Available {
  UpdateInfo info;
  bool operator==(const Available&) const = default;
};
struct Downloading {
  UpdateInfo info;
  double progress = 0.0;  // 0.0 to 1.0, or -1.0 when the size is unknown
  bool operator==(const Downloading&) const = default;
};
struct ReadyToInstall {
  UpdateInfo info;
  QString bundleURL;  // the staged, verified bundle (a local path)
  bool operator==(const ReadyToInstall&) const = default;
};
struct Failed {
  std::optional<UpdateInfo> info;  // present when downloading or installing failed
  QString message;
  bool operator==(const Failed&) const = default;
};
struct Idle {
  bool operator==(const Idle&) const = default;
};
struct Checking {
  bool operator==(const Checking&) const = default;
};
struct UpToDate {
  bool operator==(const UpToDate&) const = default;
};
struct Installing {
  bool operator==(const Installing&) const = default;
};

}  // namespace update_state

using UpdaterState =
    std::variant<update_state::Available, update_state::Downloading, update_state::ReadyToInstall,
                 update_state::Failed, update_state::Idle, update_state::Checking,
                 update_state::UpToDate, update_state::Installing>;

// The case name: "available", "downloading", "readyToInstall", "failed", "idle",
// "checking", "upToDate" or "installing".
QString stateName(const UpdaterState& state);

template <class Case>
bool holds(const UpdaterState& state) {
  return std::holds_alternative<Case>(state);
}

}  // namespace qb

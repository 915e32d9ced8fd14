#include "updater/updater_state.h"

namespace qb {

QString stateName(const UpdaterState& state) {
  static const char* const names[] = {"available", "downloading", "readyToInstall", "failed",
                                      "idle",      "checking",    "upToDate",       "installing"};
  static_assert(std::size(names) == std::variant_size_v<UpdaterState>);
  return QString::fromLatin1(names[state.index()]);
}

}  // namespace qb

#include "updater/update_info.h"

namespace qb {

size_t qHash(const UpdateInfo& i, size_t seed) noexcept {
  // An absent value hashes apart from an empty one.
  auto opt = [](const std::optional<QString>& s) { return s ? ::qHash(*s) ^ 1u : size_t(0); };
  return qHashMulti(seed, i.version, opt(i.buildNumber), opt(i.notes), opt(i.releaseId),
                    i.downloadUrl, opt(i.sha256), i.fileName, i.contentType,
                    i.sizeBytes ? ::qHash(*i.sizeBytes) ^ 1u : size_t(0));
}

}  // namespace qb

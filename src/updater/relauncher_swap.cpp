// quotabar-swap NEW DST BAK: puts the folder NEW at DST and the folder that was at DST at
// BAK, so that DST holds one whole application or the other at every instant. The
// relauncher script runs it from the installed bundle; it needs nothing from there once
// started. Only the C library: it must run whatever else the swap disturbs.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

namespace {

int fail(const char* what, const char* path) {
  std::fprintf(stderr, "quotabar-swap: %s %s: %s\n", what, path, std::strerror(errno));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: quotabar-swap NEW DST BAK\n");
    return 2;
  }
  const char* staged = argv[1];
  const char* dst = argv[2];
  const char* bak = argv[3];
  if (::renameat2(AT_FDCWD, staged, AT_FDCWD, dst, RENAME_EXCHANGE) == 0) {
    // The old application now sits at NEW; a failure here leaves it for the script's rm.
    if (::renameat2(AT_FDCWD, staged, AT_FDCWD, bak, RENAME_NOREPLACE) != 0) fail("cannot move aside", staged);
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return fail("cannot swap with", dst);
  // A file system without the exchange (NFS, some FUSE): two plain renames, microseconds
  // apart. BAK is gone (the script removed it), so neither replaces anything.
  if (std::rename(dst, bak) != 0) return fail("cannot move aside", dst);
  if (std::rename(staged, dst) != 0) {
    const int error = errno;
    std::rename(bak, dst);
    errno = error;
    return fail("cannot rename", staged);
  }
  return 0;
}

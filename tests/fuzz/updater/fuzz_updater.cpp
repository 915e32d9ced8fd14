// One reader per binary, chosen at compile time. Any input must be read or refused with
// a message; nothing may crash, hang or leak.
#include <QByteArray>

#if defined(FUZZ_LATEST_RESPONSE)
#include "updater/latest_response.h"
#elif defined(FUZZ_INFO_PLIST)
#include "platform/plist_reader.h"
#elif defined(FUZZ_BUNDLE_MANIFEST)
#include "updater/bundle_manifest.h"
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
#if defined(FUZZ_LATEST_RESPONSE)
  try {
    const auto response = qb::decodeLatestResponse(qb::JsonReader::parse(input));
    const auto info = qb::makeUpdateInfo(response);
    // A file name that survives is always a bare name inside the work directory.
    if (info && (info.value().fileName.contains(u'/') || info.value().fileName == QLatin1String("..")))
      __builtin_trap();
  } catch (const qb::DecodeError&) {
  }
#elif defined(FUZZ_INFO_PLIST)
  QString error;
  const auto value = qb::platform::parsePropertyList(input, &error);
  if (!value && error.isEmpty()) __builtin_trap();
#elif defined(FUZZ_BUNDLE_MANIFEST)
  QString why;
  const auto manifest = qb::parseManifest(input, &why);
  if (!manifest && why.isEmpty()) __builtin_trap();
  // Whatever is accepted names a place inside the bundle with no setuid or world-write bit.
  if (manifest) {
    for (auto i = manifest->cbegin(); i != manifest->cend(); ++i) {
      if (i.key().startsWith('/') || i.key().split('/').contains("..")) __builtin_trap();
      if (i->type != 'l' && (i->mode & ~0755) != 0) __builtin_trap();
    }
  }
#endif
  return 0;
}

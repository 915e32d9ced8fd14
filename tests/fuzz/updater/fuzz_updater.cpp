// One reader per binary, chosen at compile time. Any input must be read or refused with
// a message; nothing may crash, hang or leak.
#include <QByteArray>

#if defined(FUZZ_LATEST_RESPONSE)
#include "updater/latest_response.h"
#elif defined(FUZZ_INFO_PLIST)
#include "platform/plist_reader.h"
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
#endif
  return 0;
}

// One decoder per binary, chosen at compile time. Any input must either decode or fail
// with a DecodeError; nothing else may escape, crash or leak.
#include <QByteArray>

#include "providers/beta_providers.h"
#include "providers/cursor_provider.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  try {
    const qb::JsonReader json = qb::JsonReader::parse(body);
#if defined(FUZZ_CURSOR_ACCOUNT)
    (void)qb::cursor::decodeAuthMe(json);
#elif defined(FUZZ_CURSOR_USAGE)
    const auto summary = qb::cursor::decodeUsageSummary(json);
    const auto snapshot = qb::cursor::makeSnapshot({}, summary);
    (void)snapshot.usagePercent();
#elif defined(FUZZ_WINDSURF_ACCOUNT)
    (void)qb::windsurf::accountInfo(qb::windsurf::decodeAnyAccount(json));
#elif defined(FUZZ_CODEX_SESSION)
    (void)qb::codex::decodeSessionResponse(json);
#elif defined(FUZZ_CLAUDE_ACCOUNT)
    (void)qb::claude::accountInfo(qb::claude::decodeCurrentAccount(json));
#endif
  } catch (const qb::DecodeError&) {
  }
  return 0;
}

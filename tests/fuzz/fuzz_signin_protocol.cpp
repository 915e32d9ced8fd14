// The caller's reader of the sign-in helper's output: arbitrary bytes in arbitrary chunks.
#include <cstddef>
#include <cstdint>

#include "monitoring/signin_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace sp = qb::signin_protocol;
  sp::LineBuffer buffer;
  size_t at = 0;
  while (at < size) {
    const size_t chunk = 1 + data[at] % 64;  // the first byte of each chunk sets its length
    const size_t n = chunk < size - at ? chunk : size - at;
    buffer.append(QByteArray(reinterpret_cast<const char*>(data + at), static_cast<qsizetype>(n)));
    at += n;
    while (const auto line = buffer.next()) {
      const sp::Message m = sp::parse(*line);
      const QByteArray echoed = sp::format("signed-in", m.text);
      if (echoed.count('\n') != 1 || echoed.size() > sp::maxLine + 1) __builtin_trap();
    }
  }
  return 0;
}

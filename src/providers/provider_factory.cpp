#include "providers/beta_providers.h"
#include "providers/cursor_provider.h"

namespace qb {

std::unique_ptr<ProviderAPI> makeAPI(Provider p) {
  const QUrl host = webOrigin(p);
  switch (p) {
    case Provider::cursor: return std::make_unique<CursorProvider>(host);
    case Provider::windsurf: return std::make_unique<WindsurfProvider>(host);
    case Provider::codex: return std::make_unique<CodexProvider>(host);
    case Provider::claude: return std::make_unique<ClaudeProvider>(host);
  }
  return nullptr;
}

}  // namespace qb

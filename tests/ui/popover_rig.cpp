#include "popover_rig.h"

#include "fake_states.h"
#include "monitoring/session_store.h"
#include "providers/service_origin.h"
#include "updater/update_fixtures.h"

namespace qb::test {

namespace {
const char* const kSessions[] = {"WorkosCursorSessionToken=demo", "windsurf_session=demo",
                                 "__Secure-next-auth.session-token=demo", "sessionKey=demo"};
}

PopoverRig::PopoverRig(const std::array<QString, 4>& states) {
  for (Provider p : allProviders) {
    const auto i = static_cast<int>(p);
    servers_[i] = std::make_unique<fake::FakeHttpServer>();
    fake::installStateRoutes(states[i].isEmpty() ? QStringLiteral("normal") : states[i], p, *servers_[i]);
    setConfiguredOrigin(p, QUrl(servers_[i]->origin()));
    if (!states[i].isEmpty()) SessionStore::save(QLatin1String(kSessions[i]), p);
  }
  store_ = std::make_unique<ProvidersStore>();
}

PopoverRig::~PopoverRig() {
  store_.reset();
  for (Provider p : allProviders) setConfiguredOrigin(p, defaultOrigin(p));
}

bool PopoverRig::startAndSettle(int timeoutMs) {
  store_->startAll();
  return waitUntil(
      [this] {
        for (const UsageMonitor* m : store_->monitors()) {
          const auto k = m->state().kind;
          if (k == UsageMonitor::State::Kind::unknown || k == UsageMonitor::State::Kind::loading) return false;
        }
        return true;
      },
      timeoutMs);
}

Updater* PopoverRig::withUpdate(bool failing) {
  if (updater_) return updater_.get();
  updateServer_ = std::make_unique<fake::FakeUpdateServer>();
  if (failing) {
    updateServer_->answerLatest(fake::Reply::text("maintenance", 500, "text/plain"));
  } else {
    updateServer_->offer(release("2.0.0"));
  }
  UpdaterOptions o;
  o.bundlePath = makeBundle(bundle_.path(), UpdateRig::installedRecipe());
  o.origin = updateServer_->origin();
  o.tempDirectory = bundle_.path();
  o.quit = [] {};
  updater_ = Updater::create(o);
  if (!updater_) return nullptr;
  updater_->check(false);
  waitUntil([this] {
    return holds<update_state::Available>(updater_->state()) || holds<update_state::Failed>(updater_->state());
  });
  return updater_.get();
}

}  // namespace qb::test

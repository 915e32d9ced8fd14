#include "monitoring/session_signin.h"

#include <memory>

#include "monitoring/session_store.h"

namespace qb {

QString accountLine(const AccountInfo& a) {
  QString who = a.email.value_or(a.name.value_or(QStringLiteral("an unnamed account")));
  if (a.plan) who += QStringLiteral(" (%1)").arg(*a.plan);
  return who;
}

CallHandle signInWithSession(Provider p, const QString& session,
                             std::function<void(const SessionSignIn&)> done) {
  // A fresh client for each check; the callback keeps it alive until the answer.
  std::shared_ptr<const ProviderAPI> api = makeAPI(p);
  return api->fetchAccount(session, [api, p, session, done = std::move(done)](
                                        const ApiResult<AccountInfo>& r) {
    using O = SessionSignIn::Outcome;
    if (!r) return done({O::refused, {}, r.error().description()});
    if (const SessionStore::Outcome saved = SessionStore::saveChecked(session, p); !saved)
      return done({O::notStored, {}, saved.reason});
    done({O::signedIn, accountLine(r.value()), {}});
  });
}

}  // namespace qb

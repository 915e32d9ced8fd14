#pragma once

#include <QString>
#include <functional>

#include "providers/provider.h"
#include "providers/provider_api.h"

namespace qb {

// What signing in with a pasted session came to.
struct SessionSignIn {
  enum class Outcome { signedIn, refused, notStored } outcome = Outcome::refused;
  QString who;     // signedIn: the account, "email (plan)"
  QString reason;  // refused: the service's answer; notStored: the store's (plain text)
};

// The account in one line: e-mail, else name, with the plan in brackets.
QString accountLine(const AccountInfo& a);

// Checks `session` with the service's account endpoint, then keeps it through the checked
// store (read back). The one path of `quotabar signin` and the paste dialog; `done` runs
// once, on the main thread.
CallHandle signInWithSession(Provider p, const QString& session,
                             std::function<void(const SessionSignIn&)> done);

}  // namespace qb

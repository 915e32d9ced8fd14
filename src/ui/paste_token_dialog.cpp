#include "ui/paste_token_dialog.h"

#include <QPointer>
#include <utility>

#include "monitoring/session_signin.h"
#include "widgets/plain_text.h"

namespace qb::ui {

PasteTokenDialog::PasteTokenDialog(Provider provider, QWidget* parent) : PasteTokenForm(provider, parent) {
  connect(this, &PasteTokenForm::submitted, this, &PasteTokenDialog::submit);
}

void PasteTokenDialog::submit(const QString& value) {
  if (value.isEmpty() || call_) return;
  setBusy(true);
  QPointer<PasteTokenDialog> self(this);
  call_ = signInWithSession(provider(), value, [self](const SessionSignIn& r) {
    if (!self || !self->call_) return;
    self->call_.reset();
    self->setBusy(false);
    switch (r.outcome) {
      case SessionSignIn::Outcome::signedIn:
        Q_EMIT self->signedIn(self->provider(), r.who);
        return self->accept();
      case SessionSignIn::Outcome::refused:
        return openPlainWarning(self, QStringLiteral("Couldn't validate that token"), r.reason);
      case SessionSignIn::Outcome::notStored:
        return openPlainWarning(self, QStringLiteral("Couldn't save that token"), r.reason);
    }
  });
}

void PasteTokenDialog::done(int result) {
  // Closed while checking: the answer no longer matters.
  if (const CallHandle call = std::exchange(call_, nullptr)) call->cancel();
  QDialog::done(result);
}

}  // namespace qb::ui

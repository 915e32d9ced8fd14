#include "ui/paste_token_dialog.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <utility>

#include "monitoring/session_signin.h"
#include "providers/session_capture.h"
#include "ui/plain_text.h"

namespace qb::ui {

namespace {

QLabel* plainLabel(const QString& text, QWidget* parent) {
  auto* l = new QLabel(parent);
  l->setTextFormat(Qt::PlainText);
  l->setText(text);
  l->setWordWrap(true);
  return l;
}

// The detail is someone else's text (a server's, a store's): plain, never rich text.
void warn(QWidget* parent, const QString& message, const QString& detail) {
  QMessageBox* box = plainMessageBox(QMessageBox::Warning, QStringLiteral("Quotabar"), message, detail, parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

}  // namespace

PasteTokenDialog::PasteTokenDialog(Provider provider, QWidget* parent)
    : QDialog(parent), provider_(provider) {
  setAttribute(Qt::WA_DeleteOnClose);
  setObjectName(QStringLiteral("pasteToken-") + rawValue(provider));
  const QString message = QStringLiteral("Paste your ") + displayName(provider) +
                          QStringLiteral(" session token");
  setWindowTitle(message);

  auto* title = plainLabel(message, this);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  auto* info = plainLabel(pasteInstructions(provider), this);
  info->setTextInteractionFlags(Qt::TextSelectableByMouse);
  info->setFixedWidth(420);

  field_ = new QLineEdit(this);
  field_->setPlaceholderText(QStringLiteral("Paste the cookie value here"));
  field_->setAccessibleName(QStringLiteral("Session token"));
  field_->setMinimumWidth(420);

  status_ = plainLabel(QString(), this);
  status_->setVisible(false);

  auto* buttons = new QDialogButtonBox(this);
  signIn_ = buttons->addButton(QStringLiteral("Sign in"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QDialogButtonBox::Cancel);
  signIn_->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &PasteTokenDialog::submit);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title);
  layout->addWidget(info);
  layout->addWidget(field_);
  layout->addWidget(status_);
  layout->addWidget(buttons);
  field_->setFocus();
}

void PasteTokenDialog::setBusy(bool busy) {
  field_->setEnabled(!busy);
  signIn_->setEnabled(!busy);
  status_->setText(busy ? QStringLiteral("Validating token\u2026") : QString());
  status_->setVisible(busy);
}

void PasteTokenDialog::submit() {
  const QString value = field_->text().trimmed();
  if (value.isEmpty() || call_) return;
  setBusy(true);
  QPointer<PasteTokenDialog> self(this);
  call_ = signInWithSession(provider_, value, [self](const SessionSignIn& r) {
    if (!self || !self->call_) return;
    self->call_.reset();
    self->setBusy(false);
    switch (r.outcome) {
      case SessionSignIn::Outcome::signedIn:
        Q_EMIT self->signedIn(self->provider_, r.who);
        return self->accept();
      case SessionSignIn::Outcome::refused:
        return warn(self, QStringLiteral("Couldn't validate that token"), r.reason);
      case SessionSignIn::Outcome::notStored:
        return warn(self, QStringLiteral("Couldn't save that token"), r.reason);
    }
  });
}

void PasteTokenDialog::done(int result) {
  // Closed while checking: the answer no longer matters.
  if (const CallHandle call = std::exchange(call_, nullptr)) call->cancel();
  QDialog::done(result);
}

}  // namespace qb::ui

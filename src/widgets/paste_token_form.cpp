#include "widgets/paste_token_form.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "providers/session_capture.h"
#include "widgets/plain_text.h"
#include "widgets/style.h"

namespace qb::ui {

PasteTokenForm::PasteTokenForm(Provider provider, QWidget* parent) : QDialog(parent), provider_(provider) {
  setAttribute(Qt::WA_DeleteOnClose);
  setObjectName(QStringLiteral("pasteToken-") + rawValue(provider));
  const QString message = QStringLiteral("Paste your ") + displayName(provider) +
                          QStringLiteral(" session token");
  setWindowTitle(message);

  applyWindowStyle(this);
  note_ = makeLabel(QString(), {.wrap = true}, this);
  note_->setObjectName(QStringLiteral("note"));
  note_->setFixedWidth(420);
  note_->setVisible(false);
  auto* title = makeLabel(message, {.weight = QFont::Bold, .wrap = true}, this);
  auto* info = makeLabel(pasteInstructions(provider), {.wrap = true}, this);
  info->setTextInteractionFlags(Qt::TextSelectableByMouse);
  info->setFixedWidth(420);

  field_ = new QLineEdit(this);
  field_->setPlaceholderText(QStringLiteral("Paste the cookie value here"));
  field_->setAccessibleName(QStringLiteral("Session token"));
  field_->setMinimumWidth(420);

  status_ = makeLabel(QString(), {.wrap = true}, this);
  status_->setVisible(false);

  auto* buttons = new QDialogButtonBox(this);
  // Marked before the box measures it: a property read by the style sheet counts at polish.
  signIn_ = new QPushButton(QStringLiteral("Sign in"));
  signIn_->setProperty("prominent", true);
  buttons->addButton(signIn_, QDialogButtonBox::AcceptRole);
  buttons->addButton(QDialogButtonBox::Cancel);
  signIn_->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] { Q_EMIT submitted(field_->text().trimmed()); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(note_);
  layout->addWidget(title);
  layout->addWidget(info);
  layout->addWidget(field_);
  layout->addWidget(status_);
  layout->addWidget(buttons);
  field_->setFocus();
}

void PasteTokenForm::setNote(const QString& why) {
  note_->setText(capped(why));
  note_->setVisible(!why.isEmpty());
  adjustSize();
}

void PasteTokenForm::setBusy(bool busy) {
  field_->setEnabled(!busy);
  signIn_->setEnabled(!busy);
  status_->setText(busy ? QStringLiteral("Validating token\u2026") : QString());
  status_->setVisible(busy);
}

}  // namespace qb::ui

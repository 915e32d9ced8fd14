#pragma once

#include <QDialog>

#include "providers/provider.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace qb::ui {

// The paste path: a cookie value or Cookie header for one service, typed or pasted. The
// form checks and keeps nothing itself; whoever opens it does that with what it submits.
class PasteTokenForm : public QDialog {
  Q_OBJECT
 public:
  explicit PasteTokenForm(Provider provider, QWidget* parent = nullptr);

  Provider provider() const { return provider_; }
  // While the value is being checked: the field and "Sign in" wait, the status line says so.
  void setBusy(bool busy);
  // A line above the form saying why it is offered (the sign-in window ended, say); empty:
  // none.
  void setNote(const QString& why);

 Q_SIGNALS:
  // "Sign in" (or Return): the field's text without surrounding blanks, maybe empty.
  void submitted(const QString& value);

 private:
  Provider provider_;
  QLineEdit* field_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* note_ = nullptr;
  QPushButton* signIn_ = nullptr;
};

}  // namespace qb::ui

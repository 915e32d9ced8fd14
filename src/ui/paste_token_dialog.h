#pragma once

#include <QDialog>

#include "providers/provider.h"
#include "providers/provider_api.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace qb::ui {

// The paste path in the tray process, for when the sign-in window (or its web engine) is
// not installed: a pasted cookie value or Cookie header, checked with the service and kept
// like `quotabar signin` does.
class PasteTokenDialog : public QDialog {
  Q_OBJECT
 public:
  explicit PasteTokenDialog(Provider provider, QWidget* parent = nullptr);

  Provider provider() const { return provider_; }

 Q_SIGNALS:
  void signedIn(Provider provider, const QString& who);

 protected:
  void done(int result) override;

 private:
  void submit();
  void setBusy(bool busy);

  Provider provider_;
  QLineEdit* field_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* signIn_ = nullptr;
  CallHandle call_;
};

}  // namespace qb::ui

#pragma once

#include "providers/provider_api.h"
#include "widgets/paste_token_form.h"

namespace qb::ui {

// The paste path in the tray process, for when the sign-in window (or its web engine) is
// not installed: a pasted cookie value or Cookie header, checked with the service and kept
// like `quotabar signin` does.
class PasteTokenDialog : public PasteTokenForm {
  Q_OBJECT
 public:
  explicit PasteTokenDialog(Provider provider, QWidget* parent = nullptr);

 Q_SIGNALS:
  void signedIn(Provider provider, const QString& who);

 protected:
  void done(int result) override;

 private:
  void submit(const QString& value);

  CallHandle call_;
};

}  // namespace qb::ui

#pragma once

#include <QWidget>
#include <functional>

#include "providers/provider.h"

class QVBoxLayout;

namespace qb {
class ProvidersStore;
}

namespace qb::ui {

// Welcomes a new user and lists every service with its status and a sign-in or sign-out
// button. A normal window; it follows the store and never closes by itself.
class OnboardingWindow : public QWidget {
  Q_OBJECT

 public:
  OnboardingWindow(ProvidersStore& store, std::function<void(Provider)> onSignIn, QWidget* parent = nullptr);

  void render();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  ProvidersStore& store_;
  std::function<void(Provider)> onSignIn_;
  QVBoxLayout* rows_ = nullptr;
  QWidget* done_ = nullptr;
  bool placed_ = false;
  bool renderPending_ = false;
};

}  // namespace qb::ui

#pragma once

#include <QUrl>
#include <QWidget>
#include <functional>

#include "present/provider_section_view.h"

namespace qb::ui {

// One service in the popover, drawn from its view-model; it keeps nothing but the callbacks.
class ProviderSectionWidget : public QWidget {
 public:
  struct Callbacks {
    std::function<void()> onSignIn, onSignOut, onSetPrimary, onRetry;
    std::function<void(const QUrl&)> onOpenURL;
  };
  ProviderSectionWidget(const ProviderSectionView& view, Callbacks callbacks, QWidget* parent = nullptr);
};

}  // namespace qb::ui

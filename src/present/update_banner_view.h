#pragma once

#include <QString>
#include <optional>

#include "present/tint.h"
#include "updater/updater_state.h"

namespace qb {

// The popover's update strip for one updater state; nothing for idle, checking, up to date.
struct UpdateBannerView {
  Tint color = Tint::blue;
  QString icon;
  QString title;
  std::optional<QString> detail;
  enum class Progress { none, determinate, indeterminate };
  Progress progress = Progress::none;
  double progressValue = 0;  // 0 to 1 when determinate
  std::optional<QString> button;  // every button shows the update details
  bool prominent = false;
};

std::optional<UpdateBannerView> updateBannerView(const UpdaterState& state, const QString& currentVersion);

}  // namespace qb

#include "present/update_banner_view.h"

#include <algorithm>
#include <cmath>

namespace qb {

namespace {

struct Visitor {
  const QString& current;

  std::optional<UpdateBannerView> operator()(const update_state::Available& s) const {
    return UpdateBannerView{Tint::blue, QStringLiteral("arrow.down.circle.fill"),
                            QStringLiteral("Update available \u2014 v") + s.info.version,
                            QStringLiteral("You're on v") + current +
                                QStringLiteral(". View release notes \u2192"),
                            UpdateBannerView::Progress::none, 0, QStringLiteral("Details"), true};
  }
  std::optional<UpdateBannerView> operator()(const update_state::Downloading& s) const {
    UpdateBannerView v{Tint::blue, QStringLiteral("arrow.down.circle"),
                       QStringLiteral("Downloading v") + s.info.version, std::nullopt,
                       UpdateBannerView::Progress::indeterminate, 0, QStringLiteral("View"), false};
    if (std::isfinite(s.progress) && s.progress >= 0) {
      v.progress = UpdateBannerView::Progress::determinate;
      v.progressValue = std::min(s.progress, 1.0);
    }
    return v;
  }
  std::optional<UpdateBannerView> operator()(const update_state::ReadyToInstall& s) const {
    return UpdateBannerView{Tint::green, QStringLiteral("checkmark.seal.fill"),
                            QStringLiteral("v") + s.info.version + QStringLiteral(" ready to install"),
                            QStringLiteral("Click Install \u2014 the app will quit and relaunch."),
                            UpdateBannerView::Progress::none, 0, QStringLiteral("Install"), true};
  }
  std::optional<UpdateBannerView> operator()(const update_state::Installing&) const {
    return UpdateBannerView{Tint::blue, QStringLiteral("arrow.triangle.2.circlepath"),
                            QStringLiteral("Installing update\u2026"), std::nullopt,
                            UpdateBannerView::Progress::none, 0, std::nullopt, false};
  }
  std::optional<UpdateBannerView> operator()(const update_state::Failed& s) const {
    return UpdateBannerView{Tint::orange, QStringLiteral("exclamationmark.triangle.fill"),
                            QStringLiteral("Update failed"), s.message,
                            UpdateBannerView::Progress::none, 0, QStringLiteral("Details"), false};
  }
  template <class Quiet>
  std::optional<UpdateBannerView> operator()(const Quiet&) const {
    return std::nullopt;
  }
};

}  // namespace

std::optional<UpdateBannerView> updateBannerView(const UpdaterState& state, const QString& currentVersion) {
  return std::visit(Visitor{currentVersion}, state);
}

}  // namespace qb

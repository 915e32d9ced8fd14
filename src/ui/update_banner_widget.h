#pragma once

#include <QWidget>
#include <functional>

#include "present/update_banner_view.h"

namespace qb::ui {

// The update strip of the popover: icon, one or two lines, one button to the details.
class UpdateBannerWidget : public QWidget {
 public:
  UpdateBannerWidget(const UpdateBannerView& view, std::function<void()> onShowDetails,
                     QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor background_;
};

}  // namespace qb::ui

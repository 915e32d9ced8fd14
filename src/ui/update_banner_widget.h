#pragma once

#include <QWidget>
#include <functional>

#include "present/update_banner_view.h"

namespace qb::ui {

// The update strip of the popover: icon, one or two lines, one button to the details, on a
// wash of the state's colour (its window colour, so the texts are fitted to it).
class UpdateBannerWidget : public QWidget {
 public:
  UpdateBannerWidget(const UpdateBannerView& view, std::function<void()> onShowDetails,
                     QWidget* parent = nullptr);
};

}  // namespace qb::ui

#pragma once

#include <QWidget>

#include "present/provider_section_view.h"

namespace qb::ui {

// The utilization group, drawn as one element: assistive technology reads its name
// ("Utilization") and its value (as the description), not the parts.
class UtilizationView : public QWidget {
 public:
  UtilizationView(const ProviderSectionView::Utilization& view, QWidget* parent = nullptr);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  ProviderSectionView::Utilization view_;
};

}  // namespace qb::ui

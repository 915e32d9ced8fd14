#pragma once

#include <QWidget>

#include "present/cycle_chart.h"

namespace qb::ui {

// The billing cycle's chart, painted from its geometry; assistive technology reads its name
// and, as the description, its one sentence.
class CycleChartWidget : public QWidget {
 public:
  explicit CycleChartWidget(const CycleChart& chart, QWidget* parent = nullptr);
  QSize sizeHint() const override { return {200, kHeight}; }
  QSize minimumSizeHint() const override { return {120, kHeight}; }

  static constexpr int kHeight = 64;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CycleChart chart_;
};

}  // namespace qb::ui

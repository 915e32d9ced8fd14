#pragma once

#include <QLabel>

#include "present/tint.h"

namespace qb::ui {

// A word on a capsule: the BETA badge (solid purple, white text) or a status badge
// (the colour at low opacity with a 1-pixel outline).
class BadgeLabel : public QLabel {
 public:
  enum class Style { solid, outlined };
  BadgeLabel(const QString& text, Tint tint, Style style, QWidget* parent = nullptr);
  static BadgeLabel* beta(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Style style_;
};

}  // namespace qb::ui

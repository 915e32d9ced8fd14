#include "ui/update_banner_widget.h"

#include <QBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "ui/decorated_frame.h"
#include "ui/symbol_icon.h"

namespace qb::ui {

UpdateBannerWidget::UpdateBannerWidget(const UpdateBannerView& v, std::function<void()> onShowDetails,
                                       QWidget* parent)
    : QWidget(parent) {
  setObjectName(QStringLiteral("updateBanner"));
  QPalette pal = palette();
  pal.setColor(QPalette::Window, tintWash(v.color, pal, 0.1));
  setPalette(pal);
  setAutoFillBackground(true);
  const QColor color = tintColor(v.color, pal);

  auto* outer = new QHBoxLayout(this);
  outer->setContentsMargins(14, 8, 14, 8);
  outer->setSpacing(10);
  auto* text = new DecoratedFrame(this);
  text->setIcon(symbolPixmap(v.icon, color, 16, devicePixelRatioF()), 16, 10);
  auto* lines = new QVBoxLayout(text);
  lines->setContentsMargins(0, 0, 0, 0);
  lines->setSpacing(3);
  lines->addWidget(makeLabel(v.title, {.style = TextStyle::caption, .weight = QFont::DemiBold}, text));
  if (v.detail) {
    auto* detail = makeLabel(*v.detail, {.style = TextStyle::caption2, .tint = Tint::secondary, .wrap = true}, text);
    // At most two lines.
    detail->setMaximumHeight(detail->fontMetrics().lineSpacing() * 2 + 2);
    lines->addWidget(detail);
  }
  if (v.progress != UpdateBannerView::Progress::none) {
    auto* bar = new QProgressBar(text);
    bar->setTextVisible(false);
    bar->setFixedHeight(6);
    bar->setAccessibleName(v.title);
    if (v.progress == UpdateBannerView::Progress::determinate) {
      bar->setRange(0, 1000);
      bar->setValue(static_cast<int>(v.progressValue * 1000));
    } else {
      bar->setRange(0, 0);
      bar->setMaximumWidth(120);
    }
    lines->addWidget(bar);
  }
  outer->addWidget(text, 1);
  if (v.button) {
    auto* b = new QPushButton(literalText(*v.button), this);
    b->setObjectName(QStringLiteral("updateDetails"));
    b->setFont(textFont(TextStyle::caption));
    b->setProperty("prominent", v.prominent);
    connect(b, &QPushButton::clicked, this, [f = std::move(onShowDetails)] {
      if (f) f();
    });
    outer->addWidget(b, 0, Qt::AlignVCenter);
  }
}

}  // namespace qb::ui

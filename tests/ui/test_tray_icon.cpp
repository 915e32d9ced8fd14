// The tray icon at the sizes panels ask for: every figure tall enough to read and clear of
// the ring, one shape below and above 100, the two state icons told apart.
#include <QImage>
#include <sys/stat.h>
#include <gtest/gtest.h>

#include "platform/color_scheme.h"
#include "present/view_fixtures.h"
#include "support/test_support.h"
#include "ui/tray_icon.h"

namespace qb {
namespace {

StatusItemDisplay showing(double percent) {
  return statusItemDisplay(trayShowing(UsageMonitor::State::loaded(usage(percent))), QLocale::c());
}

QImage drawn(double percent, int size, int parts, TrayIconStyle style = TrayIconStyle::light) {
  return ui::trayPixmap(showing(percent), trayIconLook(style, {}, {}), size, 1.0, parts).toImage();
}

// A pixel covered enough to be seen: a quarter and more.
bool seen(const QImage& image, int x, int y) { return image.valid(x, y) && qAlpha(image.pixel(x, y)) >= 64; }

TEST(TrayIcon, EveryFigureIsTallEnoughAndClearOfTheRing) {
  for (int size : {16, 22, 24}) {
    const QImage ring = drawn(100, size, ui::kTrayRing);  // the whole ring, filled
    // Its footprint, the empty part included, is the same below and above 100.
    EXPECT_EQ(drawn(99, size, ui::kTrayRing, TrayIconStyle::dark).createAlphaMask(),
              drawn(123, size, ui::kTrayRing, TrayIconStyle::dark).createAlphaMask()) << size;
    for (int figure = 0; figure <= 999; ++figure) {
      const QImage digits = drawn(figure, size, ui::kTrayFigure);
      int top = size, bottom = -1, touching = 0;
      for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
          if (!seen(digits, x, y)) continue;
          top = std::min(top, y), bottom = std::max(bottom, y);
          for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) touching += seen(ring, x + dx, y + dy);
        }
      }
      ASSERT_GE(bottom - top + 1, (figure >= 100 ? 0.3 : 0.35) * size) << figure << " at " << size << " px";
      ASSERT_EQ(touching, 0) << figure << " at " << size << " px";
    }
  }
}

TEST(TrayIcon, TheStateIconsDifferAtEverySize) {
  const StatusItemDisplay signedOut = statusItemDisplay(StatusItemInput{});
  const StatusItemDisplay noFigure = statusItemDisplay(trayShowing(UsageMonitor::State::of(UsageMonitor::State::Kind::loading)));
  for (TrayIconStyle style : allTrayIconStyles) {
    const TrayIconLook look = trayIconLook(style, {}, {});
    for (int size : {16, 22, 24}) {
      const QImage a = ui::trayPixmap(signedOut, look, size).toImage(), b = ui::trayPixmap(noFigure, look, size).toImage();
      EXPECT_NE(a, b) << size;
      EXPECT_NE(a.createAlphaMask(), QImage()) << size;
    }
  }
}

// Plasma's scheme from kdeglobals; a FIFO there must not hold start-up.
TEST(ColorScheme, ReadsPlasmaSchemeFromAPlainFileOnly) {
  test::TempHome home;
  qputenv("XDG_CURRENT_DESKTOP", "KDE");
  const QString file = home.path() + QStringLiteral("/.config/kdeglobals");
  test::writeFile(file, "[Colors:Window]\nBackgroundNormal=49,54,59\n");
  EXPECT_EQ(platform::darkColorScheme(), true);
  test::writeFile(file, "[Colors:Window]\nBackgroundNormal=239,240,241\n");
  EXPECT_EQ(platform::darkColorScheme(), false);
  ASSERT_TRUE(QFile::remove(file) && ::mkfifo(QFile::encodeName(file).constData(), 0600) == 0);
  EXPECT_EQ(platform::darkColorScheme(), false);
  qunsetenv("XDG_CURRENT_DESKTOP");
}

}  // namespace
}  // namespace qb

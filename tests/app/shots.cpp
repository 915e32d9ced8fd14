// Screenshots of what the tray shows: the icon at each level on light and dark panels, and
// the update window in every state. Writes PNGs into the folder given (or ./screenshots)
// and fails when a picture comes out empty.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <cstdio>

#include "present/update_window_view.h"
#include "ui/tray_icon.h"
#include "ui/update_window.h"
#include "updater/updater.h"

namespace {

using namespace qb;

bool save(const QImage& image, const QString& path) {
  // A picture of one flat colour means nothing was drawn.
  bool varied = false;
  const QRgb first = image.pixel(0, 0);
  for (int y = 0; y < image.height() && !varied; y += 2)
    for (int x = 0; x < image.width() && !varied; x += 2) varied = image.pixel(x, y) != first;
  if (!varied || !image.save(path)) {
    std::fprintf(stderr, "shots: %s is empty or could not be written\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

StatusItemDisplay level(double p, const char* image, const char* colour) {
  return {QLatin1String(image), QStringLiteral(" %1%").arg(qRound(p)), QString::fromLatin1(colour),
          QString(), p};
}

bool trayStrip(const QString& dir, const QColor& panel, const QString& name) {
  const QList<StatusItemDisplay> displays = {
      {QStringLiteral("person.crop.circle.badge.questionmark"), QStringLiteral(" Sign in"), std::nullopt, {}, {}},
      {QStringLiteral("person.crop.circle.badge.checkmark"), QString(), std::nullopt, {}, {}},
      level(4, "gauge.with.dots.needle.0percent", "labelColor"),
      level(42, "gauge.with.dots.needle.50percent", "labelColor"),
      level(72, "gauge.with.dots.needle.67percent", "systemYellowColor"),
      level(96, "gauge.with.dots.needle.100percent", "systemRedColor"),
      level(100, "gauge.with.dots.needle.100percent", "systemRedColor"),
  };
  // Each icon at 16, 22 and 24 px and at 2x, shown four times larger so a reader can see
  // the pixels the panel shows.
  const QList<std::pair<int, qreal>> sizes = {{16, 1}, {22, 1}, {24, 1}, {22, 2}};
  const int cell = 24 * 2 * 4 + 8;
  QImage strip(cell * displays.size(), cell * sizes.size(), QImage::Format_RGB32);
  strip.fill(panel);
  QPainter p(&strip);
  for (int i = 0; i < displays.size(); ++i) {
    for (int j = 0; j < sizes.size(); ++j) {
      const auto [size, dpr] = sizes[j];
      QImage icon(QSize(size, size) * dpr, QImage::Format_ARGB32_Premultiplied);
      icon.fill(panel);
      QPainter ip(&icon);
      ip.drawPixmap(QRect(QPoint(), icon.size()), ui::trayPixmap(displays[i], size, dpr));
      ip.end();
      const QImage big = icon.scaled(icon.size() * 4 / dpr * dpr, Qt::KeepAspectRatio, Qt::FastTransformation);
      p.drawImage(i * cell + 4, j * cell + 4, big);
    }
  }
  p.end();
  return save(strip, dir + QStringLiteral("/tray-icons-") + name + QStringLiteral(".png"));
}

bool updateWindows(const QString& dir, const QString& theme) {
  QTemporaryDir bundle;
  QDir().mkpath(bundle.path() + QStringLiteral("/Contents"));
  QFile plist(bundle.path() + QStringLiteral("/Contents/Info.plist"));
  if (!plist.open(QIODevice::WriteOnly)) return false;
  plist.write(R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>
<key>CFBundleShortVersionString</key><string>1.0.0</string><key>CFBundleVersion</key><string>7</string>
<key>KovalinAppId</key><string>vantelo</string><key>KovalinApiKey</key><string>k</string>
<key>KovalinChannel</key><string>stable</string></dict></plist>)");
  plist.close();
  UpdaterOptions options;
  options.bundlePath = bundle.path();
  options.origin = QUrl(QStringLiteral("http://127.0.0.1:9"));
  options.settings = [s = bundle.path()] {
    return std::make_unique<QSettings>(s + QStringLiteral("/settings.ini"), QSettings::IniFormat);
  };
  auto updater = Updater::create(options);
  if (!updater) return false;
  ui::UpdateWindow window(*updater);

  UpdateInfo info;
  info.version = QStringLiteral("1.1.0");
  info.buildNumber = QStringLiteral("8");
  info.fileName = QStringLiteral("Quotabar-1.1.0.zip");
  info.sizeBytes = 14'200'000;
  info.sha256 = QStringLiteral("ab");
  info.notes = QStringLiteral("**Faster** polling and a clearer tray icon.\nFixes:\n- the *Claude* sign-in\n- `status --json` dates");
  namespace us = update_state;
  const QDateTime now = QDateTime::currentDateTimeUtc();
  const std::pair<const char*, UpdaterState> states[] = {
      {"idle", us::Idle{}},
      {"checking", us::Checking{}},
      {"upToDate", us::UpToDate{}},
      {"available", us::Available{info}},
      {"downloading", us::Downloading{info, 0.42}},
      {"downloading-unknown", us::Downloading{info, -1.0}},
      {"readyToInstall", us::ReadyToInstall{info, QStringLiteral("/tmp/x")}},
      {"installing", us::Installing{}},
      {"failed", us::Failed{info, QStringLiteral("The downloaded update failed SHA-256 verification.")}},
  };
  bool ok = true;
  for (const auto& [name, state] : states) {
    window.renderView(updateWindowView({state, now.addSecs(-300), QStringLiteral("stable"),
                                        QStringLiteral("1.0.0"), QStringLiteral("7")},
                                       now));
    window.resize(460, 480);
    window.show();
    QApplication::processEvents();
    QApplication::processEvents();
    ok &= save(window.grab().toImage(),
               dir + QStringLiteral("/update-%1-%2.png").arg(QLatin1String(name), theme));
  }
  window.hide();
  return ok;
}

QPalette darkPalette() {
  QPalette p;
  p.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2e));
  p.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
  p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x20));
  p.setColor(QPalette::AlternateBase, QColor(0x33, 0x33, 0x36));
  p.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
  p.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3e));
  p.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
  p.setColor(QPalette::Highlight, QColor(0x0a, 0x84, 0xff));
  p.setColor(QPalette::HighlightedText, Qt::white);
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
  QDir().mkpath(dir);
  bool ok = trayStrip(dir, QColor(0xf2, 0xf2, 0xf2), QStringLiteral("light-panel"));
  ok &= trayStrip(dir, QColor(0x1c, 0x1c, 0x1e), QStringLiteral("dark-panel"));
  ok &= updateWindows(dir, QStringLiteral("light"));
  QApplication::setPalette(darkPalette());
  ok &= updateWindows(dir, QStringLiteral("dark"));
  return ok ? 0 : 1;
}

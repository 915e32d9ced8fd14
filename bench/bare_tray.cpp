// The floor the tray app is measured against: a bare Qt tray app (application, tray icon,
// hidden popup, a 15-second timer) that prints when its icon is shown.
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <cstdio>

int main(int argc, char** argv) {
  QElapsedTimer started;
  started.start();
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QWidget popup(nullptr, Qt::Popup);
  popup.resize(360, 400);
  QPixmap pixmap(22, 22);
  pixmap.fill(Qt::transparent);
  QPainter(&pixmap).drawEllipse(2, 2, 18, 18);
  QSystemTrayIcon tray{QIcon(pixmap)};
  QTimer poll;
  poll.start(15'000);
  tray.show();
  std::fprintf(stderr, "Tray icon shown %lld ms after start.\n", static_cast<long long>(started.elapsed()));
  return QApplication::exec();
}

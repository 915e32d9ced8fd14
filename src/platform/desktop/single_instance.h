#pragma once

#include <QObject>
#include <QString>

class QFileSystemWatcher;
class QLocalServer;

namespace qb::platform {

// One running app per profile (settings folder). The first instance holds a lock file for
// its whole life (so two launches at once can never both win) and listens on a local
// socket; a later launch tells it to show itself and leaves.
class SingleInstance : public QObject {
  Q_OBJECT
 public:
  explicit SingleInstance(QObject* parent = nullptr);
  ~SingleInstance() override;

  // True when this process is now the running instance; false when another one holds the
  // profile (and has been asked to show itself, if it answered within a few seconds).
  bool claim();
  // Empty when no folder of this user's own exists: then every launch runs.
  QString socketPath() const { return path_; }
  static QString privateSocketFolder();

 Q_SIGNALS:
  void showRequested();

 private:
  enum class Told { yes, no, stranger };
  Told tellRunningInstance() const;
  void listen();
  void acceptPeers();

  QString path_;
  int lock_ = -1;
  QLocalServer* server_ = nullptr;
  QFileSystemWatcher* watch_ = nullptr;
  int peers_ = 0;
};

}  // namespace qb::platform

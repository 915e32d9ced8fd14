#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace qb::platform {

// One running app per profile (settings folder): the first instance listens on a local
// socket; a later launch tells it to show itself and leaves.
class SingleInstance : public QObject {
  Q_OBJECT
 public:
  explicit SingleInstance(QObject* parent = nullptr);

  // True when this process is now the running instance; false when another one answered
  // (and has been asked to show itself).
  bool claim();
  // Empty when no folder of this user's own exists: then every launch runs.
  QString socketPath() const { return path_; }
  static QString privateSocketFolder();

 Q_SIGNALS:
  void showRequested();

 private:
  QString path_;
  QLocalServer* server_ = nullptr;
};

}  // namespace qb::platform

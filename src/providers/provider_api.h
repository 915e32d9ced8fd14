#pragma once

#include <QDateTime>
#include <QList>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

#include "common/result.h"
#include "providers/provider.h"

class QNetworkReply;

namespace qb {

// Every failure of a service client; description() is the text the user sees.
class ProviderAPIError {
 public:
  enum class Kind { http, decoding, transport, unimplemented, notAuthenticated };

  static ProviderAPIError http(int status, QString body);
  static ProviderAPIError decoding(QString reason);
  static ProviderAPIError transport(QString reason);
  static ProviderAPIError unimplemented(QString message);
  static ProviderAPIError notAuthenticated();

  Kind kind() const { return kind_; }
  int status() const { return status_; }
  // The body text of `http`, or the underlying description of the other kinds.
  const QString& detail() const { return detail_; }
  QString description() const;

 private:
  Kind kind_ = Kind::transport;
  int status_ = 0;
  QString detail_;
};

struct AccountInfo {
  std::optional<QString> email;
  std::optional<QString> name;
  std::optional<QString> plan;
};

// One fetch, normalised. Money in cents, percentages on a 0 to 100 scale.
struct UsageSnapshot {
  Provider provider = Provider::cursor;
  std::optional<QString> email;
  std::optional<QString> membership;
  std::optional<QDateTime> billingStart;
  std::optional<QDateTime> billingEnd;
  std::optional<double> totalPercentUsed;
  std::optional<double> autoPercentUsed;
  std::optional<double> apiPercentUsed;
  std::optional<double> planUsed;
  std::optional<double> planLimit;
  std::optional<double> planRemaining;
  bool isCentsBased = false;
  std::optional<double> onDemandUsedCents;
  std::optional<double> onDemandLimitCents;
  bool onDemandEnabled = false;
  std::optional<QString> statusNote;

  std::optional<double> usagePercent() const {
    return totalPercentUsed ? totalPercentUsed : apiPercentUsed;
  }
};

// The form every beta client returns: identity only and a sentence pointing at the dashboard.
UsageSnapshot accountOnlySnapshot(Provider p, std::optional<QString> email,
                                  std::optional<QString> membership, QString statusNote);

template <class T>
using ApiResult = Result<T, ProviderAPIError>;

// Handle on one in-flight client call. cancel() aborts the requests still open; the
// call then completes through its callback like any other failed request.
class PendingCall {
 public:
  void cancel();
  bool isCancelled() const { return cancelled_; }
  void track(QNetworkReply* reply);

 private:
  QList<QPointer<QNetworkReply>> replies_;
  bool cancelled_ = false;
};
using CallHandle = std::shared_ptr<PendingCall>;

template <class T>
using Completion = std::function<void(const ApiResult<T>&)>;

// The contract every service client fulfils. Callbacks run on the main thread, once.
class ProviderAPI {
 public:
  virtual ~ProviderAPI() = default;
  virtual Provider provider() const = 0;
  virtual QUrl host() const = 0;
  virtual CallHandle fetchAccount(const QString& session, Completion<AccountInfo> done) const = 0;
  virtual CallHandle fetchUsage(const QString& session, Completion<UsageSnapshot> done) const = 0;
};

// Makes the client of a service; cheap, stateless, never fails.
std::unique_ptr<ProviderAPI> makeAPI(Provider p);

}  // namespace qb

// `quotabar account|fetch PROVIDER`: check a pasted session against the service.
#include <QJsonDocument>

#include "app/cli_common.h"
#include "common/text.h"
#include "present/snapshot_json.h"
#include "providers/provider_api.h"

namespace qb::cli {

namespace {

template <class T>
int runClient(const QStringList& args, const char* name,
              CallHandle (ProviderAPI::*operation)(const QString&, Completion<T>) const,
              QJsonObject (*toJson)(const T&)) {
  const QString usageLine = QStringLiteral("quotabar %1 PROVIDER < session").arg(QLatin1String(name));
  const auto provider = providerArgument(args, usageLine);
  if (!provider) return Exit::usage;
  const std::optional<QString> read = readSessionFromStdin(usageLine);
  if (!read) return Exit::usage;
  const QString session = *read;

  const std::unique_ptr<ProviderAPI> api = makeAPI(*provider);
  CallHandle call;
  return runLoop([&](std::function<void(int)> finished) {
    call = (api.get()->*operation)(session, [finished, toJson](const ApiResult<T>& r) {
      if (!r) {
        err() << terminalText(r.error().description()) << Qt::endl;
        return finished(Exit::failed);
      }
      out() << terminalJson(QJsonDocument(toJson(r.value())).toJson(QJsonDocument::Compact)) << Qt::endl;
      finished(Exit::ok);
    });
  });
}

}  // namespace

int fetchCommand(const QStringList& args) {
  return runClient<UsageSnapshot>(args, "fetch", &ProviderAPI::fetchUsage, &snapshotToJson);
}

int accountCommand(const QStringList& args) {
  return runClient<AccountInfo>(args, "account", &ProviderAPI::fetchAccount, &accountToJson);
}

}  // namespace qb::cli

#pragma once

#include "common/json_reader.h"
#include "providers/provider_api.h"

class QNetworkRequest;

namespace qb {

namespace windsurf {
struct AnyAccount {
  std::optional<QString> email, name, displayName, plan, tier;
};
AnyAccount decodeAnyAccount(const JsonReader& json);
AccountInfo accountInfo(const AnyAccount& a);
}  // namespace windsurf

namespace codex {
struct User {
  std::optional<QString> email, name, picture;
};
struct SessionResponse {
  std::optional<User> user;
  std::optional<QString> accessToken, expires;
};
SessionResponse decodeSessionResponse(const JsonReader& json);
}  // namespace codex

namespace claude {
struct Settings {
  std::optional<QString> billable_status;
};
struct Organization {
  std::optional<QString> name;
  std::optional<Settings> settings;
};
struct CurrentAccount {
  std::optional<QString> email_address, full_name;
  std::optional<QList<Organization>> organizations;
};
CurrentAccount decodeCurrentAccount(const JsonReader& json);
AccountInfo accountInfo(const CurrentAccount& a);
}  // namespace claude

// Beta clients confirm the account only and point at the service's dashboard.
class WindsurfProvider : public ProviderAPI {
 public:
  explicit WindsurfProvider(QUrl host) : host_(std::move(host)) {}
  Provider provider() const override { return Provider::windsurf; }
  QUrl host() const override { return host_; }
  CallHandle fetchAccount(const QString& session, Completion<AccountInfo> done) const override;
  CallHandle fetchUsage(const QString& session, Completion<UsageSnapshot> done) const override;

 private:
  // Tries the three account endpoints in turn; fails only when all three did.
  CallHandle lookup(const QString& session, Completion<AccountInfo> done) const;
  QUrl host_;
};

class CodexProvider : public ProviderAPI {
 public:
  explicit CodexProvider(QUrl host) : host_(std::move(host)) {}
  Provider provider() const override { return Provider::codex; }
  QUrl host() const override { return host_; }
  CallHandle fetchAccount(const QString& session, Completion<AccountInfo> done) const override;
  CallHandle fetchUsage(const QString& session, Completion<UsageSnapshot> done) const override;

 private:
  QUrl host_;
};

class ClaudeProvider : public ProviderAPI {
 public:
  explicit ClaudeProvider(QUrl host) : host_(std::move(host)) {}
  Provider provider() const override { return Provider::claude; }
  QUrl host() const override { return host_; }
  CallHandle fetchAccount(const QString& session, Completion<AccountInfo> done) const override;
  CallHandle fetchUsage(const QString& session, Completion<UsageSnapshot> done) const override;

 private:
  QUrl host_;
};

}  // namespace qb

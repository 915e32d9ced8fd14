#pragma once

#include <QString>
#include <QTemporaryDir>
#include <array>
#include <memory>
#include <optional>

#include "fake_http_server.h"
#include "fake_update_server.h"
#include "monitoring/providers_store.h"
#include "support/test_support.h"
#include "updater/updater.h"

namespace qb::test {

// A store whose services answer from loopback fakes in named states (fake_states.h), with
// sessions stored for the connected ones, and optionally a real updater offering a release.
class PopoverRig {
 public:
  // `states`: a state name per service, or empty for a service with no stored session.
  explicit PopoverRig(const std::array<QString, 4>& states);
  ~PopoverRig();

  ProvidersStore& store() { return *store_; }
  fake::FakeHttpServer& server(Provider p) { return *servers_[static_cast<int>(p)]; }

  // Starts every stored session and waits until no monitor is still unknown or loading.
  bool startAndSettle(int timeoutMs = 10'000);
  // An updater whose server offers version 2.0.0 (or fails with 500); it has checked once
  // (state available, or failed).
  Updater* withUpdate(bool failing = false);

 private:
  TempHome home_;
  std::array<std::unique_ptr<fake::FakeHttpServer>, 4> servers_;
  std::unique_ptr<ProvidersStore> store_;
  QTemporaryDir bundle_;
  std::unique_ptr<fake::FakeUpdateServer> updateServer_;
  std::unique_ptr<Updater> updater_;
};

}  // namespace qb::test

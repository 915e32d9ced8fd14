// Serves all four services on loopback for the demo and black-box checks; prints one
// QUOTABAR_ORIGIN_*=... line per service, then serves until stopped. With --release it
// also plays the update server offering that signed zip (QUOTABAR_UPDATE_ORIGIN=...); with
// --history it first writes Cursor's history of the current cycle into that file.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>

#include "demo_history.h"
#include "fake_services.h"
#include "fake_states.h"
#include "fake_update_server.h"
#include "providers/service_origin.h"

namespace {
volatile std::sig_atomic_t stop = 0;
void onSignal(int) { stop = 1; }
}  // namespace

int main(int argc, char** argv) {
  int portBase = 0;
  const char* releaseZip = nullptr;
  const char* historyFile = nullptr;
  std::string releaseVersion, releaseBuild;
  QString states[4] = {"normal", "normal", "normal", "normal"};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--release") == 0 && i + 3 < argc) {
      releaseZip = argv[++i];
      releaseVersion = argv[++i];
      releaseBuild = argv[++i];
      continue;
    }
    if (std::strcmp(argv[i], "--port-base") == 0 && i + 1 < argc) {
      portBase = std::atoi(argv[++i]);
      if (portBase <= 0 || portBase > 65532) {
        std::fprintf(stderr, "fake-services: --port-base needs a port number\n");
        return 2;
      }
    } else if (std::strcmp(argv[i], "--history") == 0 && i + 1 < argc) {
      historyFile = argv[++i];
    } else if (std::strcmp(argv[i], "--state") == 0 && i + 1 < argc) {
      if (!qb::fake::parseStateOption(QString::fromLocal8Bit(argv[++i]), states)) {
        std::fprintf(stderr, "fake-services: --state takes [PROVIDER=]%s\n",
                     qb::fake::stateNames().join(QLatin1Char('|')).toLocal8Bit().constData());
        return 2;
      }
    } else {
      std::fprintf(stderr,
                   "usage: fake-services [--port-base N] [--state [PROVIDER=]NAME]... "
                   "[--release ZIP VERSION BUILD] [--history FILE]\n");
      return 2;
    }
  }
  if (historyFile && !qb::fake::writeDemoHistory(QString::fromLocal8Bit(historyFile),
                                                     states[static_cast<int>(qb::Provider::cursor)])) {
    std::fprintf(stderr, "fake-services: cannot write the history into %s\n", historyFile);
    return 1;
  }
  std::vector<std::unique_ptr<qb::fake::FakeHttpServer>> servers;
  int offset = 0;
  for (qb::Provider p : qb::allProviders) {
    try {
      servers.push_back(
          std::make_unique<qb::fake::FakeHttpServer>(portBase ? portBase + offset : 0));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "fake-services: %s\n", e.what());
      return 1;
    }
    ++offset;
    qb::fake::installStateRoutes(states[static_cast<int>(p)], p, *servers.back());
    std::printf("%s=%s\n", qb::originVariable(p).toUtf8().constData(),
                servers.back()->origin().toUtf8().constData());
  }
  std::unique_ptr<qb::fake::FakeUpdateServer> updates;
  if (releaseZip) {
    QFile zip(QString::fromLocal8Bit(releaseZip));
    if (!zip.open(QIODevice::ReadOnly)) {
      std::fprintf(stderr, "fake-services: cannot read %s\n", releaseZip);
      return 1;
    }
    const QByteArray bytes = zip.readAll();
    updates = std::make_unique<qb::fake::FakeUpdateServer>();
    qb::fake::ReleaseFields release;
    release.version = releaseVersion;
    release.buildNumber = releaseBuild;
    release.artifactVersion = releaseVersion;
    release.artifactBuildNumber = releaseBuild;
    release.notes = "**Demo release.** Downloads, verifies and installs over the demo's own copy.\n"
                    "- Nothing outside the demo folder is touched.";
    release.sha256 = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString();
    release.sizeBytes = bytes.size();
    release.downloadUrl = updates->serveArtifact("Quotabar.zip", bytes.toStdString());
    updates->offer(release);
    std::printf("QUOTABAR_UPDATE_ORIGIN=%s\n", updates->origin().toString().toUtf8().constData());
  }
  std::fflush(stdout);
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  while (!stop) ::sleep(1);
  return 0;
}

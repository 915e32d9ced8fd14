// Downloads a 1 GiB artifact from a loopback fake with our streaming
// download-and-digest, and the same bytes with `curl -s URL | openssl dgst -sha256`, in
// the same run; prints both times, their ratio and our peak resident memory above the
// idle process. The server runs in a child process so only the download is measured here.
//
//   bench_download [--size BYTES] [--runs N] [--output FILE]   (FILE may be /dev/null)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <iostream>
#include <limits>
#include <optional>
#include <thread>
#include <vector>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "providers/provider_http.h"
#include "updater/artifact_download.h"

namespace {

qint64 statusKiB(const char* field) {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith(field)) return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
  }
  return -1;
}

// Makes VmHWM start again from the current resident size.
void resetPeak() {
  QFile refs(QStringLiteral("/proc/self/clear_refs"));
  if (refs.open(QIODevice::WriteOnly)) refs.write("5");
}

// A loopback fake for one large artifact: plain sockets, one thread per connection, the
// body streamed from a 1 MiB pattern. (The general fake HTTP server copies a reply's
// whole body for each request, which here took seconds for 1 GiB and would time the fake
// rather than the client.)
int serve(qint64 size) {
  std::vector<char> pattern(1 << 20);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = char((i * 2654435761u) >> 13);
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 8) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return 1;
  std::cout << "http://127.0.0.1:" << ntohs(address.sin_port) << "/artifacts/Quotabar.zip" << std::endl;
  std::thread([listener, size, &pattern] {
    for (;;) {
      const int c = ::accept(listener, nullptr, nullptr);
      if (c < 0) return;
      std::thread([c, size, &pattern] {
        std::string request;
        char piece[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
          const ssize_t n = ::read(c, piece, sizeof piece);
          if (n <= 0) break;
          request.append(piece, size_t(n));
        }
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/zip\r\nContent-Length: " +
                                 std::to_string(size) + "\r\nConnection: close\r\n\r\n";
        bool ok = ::write(c, head.data(), head.size()) == ssize_t(head.size());
        for (qint64 sent = 0; ok && sent < size;) {
          const size_t want = size_t(std::min<qint64>(qint64(pattern.size()), size - sent));
          const ssize_t n = ::write(c, pattern.data(), want);
          ok = n > 0;
          sent += n;
        }
        ::close(c);
      }).detach();
    }
  }).detach();
  // Serves until the parent closes our standard input.
  std::string line;
  while (std::getline(std::cin, line)) {
  }
  return 0;
}

struct Measured {
  double seconds = 0;
  QString digest;
  qint64 peakAboveIdleKiB = 0;
};

Measured ours(const QUrl& url, const QString& file) {
  Measured m;
  const qint64 idle = statusKiB("VmRSS:");
  resetPeak();
  qb::ArtifactDownload download({.network = qb::ProviderHTTP::shared().manager(),
                                 .url = url,
                                 .filePath = file,
                                 .sizeBytes = std::nullopt,
                                 .maxBytes = std::numeric_limits<qint64>::max(),  // any --size
                                 .timeoutMs = 60'000,
                                 .now = {}});
  bool done = false;
  QObject::connect(&download, &qb::ArtifactDownload::succeeded, [&](const QString& sha, bool) {
    m.digest = sha;
    done = true;
  });
  QObject::connect(&download, &qb::ArtifactDownload::failed, [&](const QString& why) {
    std::cerr << "download failed: " << why.toStdString() << std::endl;
    done = true;
  });
  QElapsedTimer timer;
  timer.start();
  download.start();
  while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  m.seconds = timer.nsecsElapsed() / 1e9;
  m.peakAboveIdleKiB = statusKiB("VmHWM:") - idle;
  if (QFileInfo(file).isFile()) QFile::remove(file);
  return m;
}

// `curl -s URL | openssl dgst -sha256`, or with `tee FILE` between them, which also writes
// the file as our download does.
Measured curl(const QString& url, const QString& teeFile = QString()) {
  Measured m;
  QProcess shell;
  QElapsedTimer timer;
  timer.start();
  const QString tee = teeFile.isEmpty() ? QString() : QStringLiteral(" | tee '%1'").arg(teeFile);
  shell.start(QStringLiteral("/bin/bash"),
              {QStringLiteral("-c"),
               QStringLiteral("curl -s '%1'%2 | openssl dgst -sha256 -r").arg(url, tee)});
  shell.waitForFinished(-1);
  m.seconds = timer.nsecsElapsed() / 1e9;
  m.digest = QString::fromLatin1(shell.readAllStandardOutput()).section(u' ', 0, 0);
  if (QFileInfo(teeFile).isFile()) QFile::remove(teeFile);
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  qint64 size = 1024LL * 1024 * 1024;
  int runs = 3;
  for (qsizetype i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == QLatin1String("--size")) size = args[i + 1].toLongLong();
    if (args[i] == QLatin1String("--runs")) runs = args[i + 1].toInt();
  }
  if (args.contains(QStringLiteral("--serve"))) return serve(size);

  QProcess server;
  server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  server.start(QCoreApplication::applicationFilePath(),
               {QStringLiteral("--serve"), QStringLiteral("--size"), QString::number(size)});
  if (!server.waitForReadyRead(120'000)) {
    std::cerr << "the fake server did not start" << std::endl;
    return 1;
  }
  const QString url = QString::fromLatin1(server.readLine()).trimmed();
  QTemporaryDir dir;
  QString file = dir.path() + QStringLiteral("/Quotabar.zip");
  if (const qsizetype at = args.indexOf(QStringLiteral("--output")); at >= 0 && at + 1 < args.size())
    file = args[at + 1];

  // Warm-up: the network thread and its buffers exist before the idle size is taken.
  (void)ours(QUrl(url.section(u'/', 0, 2) + QStringLiteral("/none")), file);

  QTextStream out(stdout);
  out << "artifact: " << size << " bytes from " << url << "\n";
  Measured bestOurs, bestCurl, bestTee;
  bestOurs.seconds = bestCurl.seconds = bestTee.seconds = 1e9;
  qint64 worstPeak = 0;
  for (int run = 0; run < runs; ++run) {
    const Measured o = ours(QUrl(url), file);
    const Measured c = curl(url);
    const Measured t = curl(url, file);
    const bool match = !o.digest.isEmpty() && o.digest == c.digest && o.digest == t.digest;
    out << QStringLiteral("run %1: ours %2 s (%3 MiB/s, peak +%4 KiB), curl|openssl %5 s, "
                          "curl|tee|openssl %6 s, digests %7\n")
               .arg(run + 1)
               .arg(o.seconds, 0, 'f', 3)
               .arg(size / 1048576.0 / o.seconds, 0, 'f', 0)
               .arg(o.peakAboveIdleKiB)
               .arg(c.seconds, 0, 'f', 3)
               .arg(t.seconds, 0, 'f', 3)
               .arg(match ? QStringLiteral("match") : QStringLiteral("DIFFER"))
        << Qt::flush;
    if (o.seconds < bestOurs.seconds) bestOurs = o;
    if (c.seconds < bestCurl.seconds) bestCurl = c;
    if (t.seconds < bestTee.seconds) bestTee = t;
    worstPeak = std::max(worstPeak, o.peakAboveIdleKiB);
  }
  out << QStringLiteral("best: ours %1 s, curl|openssl %2 s (ratio curl/ours %3), "
                        "curl|tee|openssl %4 s (ratio %5)\n")
             .arg(bestOurs.seconds, 0, 'f', 3)
             .arg(bestCurl.seconds, 0, 'f', 3)
             .arg(bestCurl.seconds / bestOurs.seconds, 0, 'f', 2)
             .arg(bestTee.seconds, 0, 'f', 3)
             .arg(bestTee.seconds / bestOurs.seconds, 0, 'f', 2);
  out << QStringLiteral("peak resident memory above the idle process: %1 KiB (idle %2 KiB)\n")
             .arg(worstPeak)
             .arg(statusKiB("VmRSS:"));
  server.closeWriteChannel();
  server.waitForFinished(30'000);
  return 0;
}

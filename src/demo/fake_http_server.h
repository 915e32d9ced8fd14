#pragma once

// A scriptable HTTP/1.1 server on 127.0.0.1 for tests and the demo: real sockets, a
// free port, canned or computed answers per path, and a record of every request.

#include <QString>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

namespace qb::fake {

struct RecordedRequest {
  std::string method;
  std::string path;
  std::string query;  // raw, without "?"
  std::vector<std::pair<std::string, std::string>> headers;

  // Case-insensitive lookup; empty when absent.
  std::string header(const std::string& name) const;
  bool hasHeader(const std::string& name) const;
};

struct Reply {
  int status = 200;
  std::string body;
  std::string contentType = "application/json";
  std::vector<std::pair<std::string, std::string>> headers;
  int delayMs = 0;              // before anything is sent
  std::size_t chunkBytes = 0;   // send the body in pieces of this size...
  int chunkDelayMs = 0;         // ...this far apart
  std::optional<std::size_t> cutAfter;  // drop the connection after this many body bytes
  bool noContentLength = false;         // chunked transfer, no length announced
  // A generated body of `generatedSize` bytes (large downloads); byte i is generator(i).
  std::uint64_t generatedSize = 0;
  std::function<char(std::uint64_t)> generator;

  static Reply json(std::string body, int status = 200) {
    Reply r;
    r.status = status;
    r.body = std::move(body);
    return r;
  }
  static Reply text(std::string body, int status, std::string type = "text/html") {
    Reply r = json(std::move(body), status);
    r.contentType = std::move(type);
    return r;
  }
};

class FakeHttpServer {
 public:
  using Handler = std::function<Reply(const RecordedRequest&)>;

  explicit FakeHttpServer(int port = 0);  // 0: a free port
  ~FakeHttpServer();
  FakeHttpServer(const FakeHttpServer&) = delete;
  FakeHttpServer& operator=(const FakeHttpServer&) = delete;

  int port() const { return port_; }
  QString origin() const;  // "http://127.0.0.1:PORT"
  std::string url(const std::string& path) const;

  // Answers for GET `path` (exact match, query ignored). Unrouted paths get 404.
  void route(const std::string& path, Reply reply);
  void route(const std::string& path, Handler handler);

  std::vector<RecordedRequest> requests() const;
  std::size_t count(const std::string& path) const;
  void clearRequests();

  // Waits that can be cut short when the server stops.
  bool pause(int ms);

 private:
  void serve(const RecordedRequest& req, void* response);

  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable stopped_;
  bool stopping_ = false;
  std::map<std::string, Handler> routes_;
  std::vector<RecordedRequest> requests_;
};

}  // namespace qb::fake

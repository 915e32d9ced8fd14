#include "fake_http_server.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>

namespace qb::fake {

namespace {

bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::string RecordedRequest::header(const std::string& name) const {
  for (const auto& [k, v] : headers)
    if (sameName(k, name)) return v;
  return {};
}

bool RecordedRequest::hasHeader(const std::string& name) const {
  return std::any_of(headers.begin(), headers.end(),
                     [&](const auto& h) { return sameName(h.first, name); });
}

FakeHttpServer::FakeHttpServer(int port) : server_(std::make_unique<httplib::Server>()) {
  // One request per connection: a lingering keep-alive would hold the server open at shutdown.
  server_->set_keep_alive_max_count(1);
  auto handler = [this](const httplib::Request& req, httplib::Response& res) {
    RecordedRequest r;
    r.method = req.method;
    r.path = req.path;
    const auto q = req.target.find('?');
    if (q != std::string::npos) r.query = req.target.substr(q + 1);
    for (const auto& [k, v] : req.headers) r.headers.emplace_back(k, v);
    serve(r, &res);
  };
  server_->Get(".*", handler);
  server_->Post(".*", handler);
  if (port == 0) {
    port_ = server_->bind_to_any_port("127.0.0.1");
  } else if (server_->bind_to_port("127.0.0.1", port)) {
    port_ = port;
  }
  if (port_ <= 0) throw std::runtime_error("fake server: cannot bind 127.0.0.1");
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FakeHttpServer::~FakeHttpServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stopped_.notify_all();
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

QString FakeHttpServer::origin() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }

std::string FakeHttpServer::url(const std::string& path) const {
  return origin().toStdString() + path;
}

void FakeHttpServer::route(const std::string& path, Reply reply) {
  route(path, [reply = std::move(reply)](const RecordedRequest&) { return reply; });
}

void FakeHttpServer::route(const std::string& path, Handler handler) {
  std::lock_guard lock(mutex_);
  routes_[path] = std::move(handler);
}

std::vector<RecordedRequest> FakeHttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t FakeHttpServer::count(const std::string& path) const {
  std::lock_guard lock(mutex_);
  return std::count_if(requests_.begin(), requests_.end(),
                       [&](const RecordedRequest& r) { return r.path == path; });
}

void FakeHttpServer::clearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

bool FakeHttpServer::pause(int ms) {
  std::unique_lock lock(mutex_);
  return !stopped_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

void FakeHttpServer::serve(const RecordedRequest& req, void* response) {
  auto& res = *static_cast<httplib::Response*>(response);
  Handler handler;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(req);
    if (auto it = routes_.find(req.path); it != routes_.end()) handler = it->second;
  }
  Reply reply = handler ? handler(req) : Reply::text("not found", 404, "text/plain");
  if (reply.delayMs > 0 && !pause(reply.delayMs)) return;

  res.status = reply.status;
  for (const auto& [k, v] : reply.headers) res.set_header(k, v);

  const bool streamed = reply.chunkBytes > 0 || reply.cutAfter || reply.noContentLength ||
                        reply.generatedSize > 0;
  if (!streamed) {
    res.set_content(reply.body, reply.contentType);
    return;
  }
  auto body = std::make_shared<Reply>(std::move(reply));
  const std::uint64_t total = body->generatedSize > 0 ? body->generatedSize : body->body.size();
  const std::size_t piece = body->chunkBytes > 0 ? body->chunkBytes : 256 * 1024;
  auto provide = [this, body, total, piece](std::size_t offset, httplib::DataSink& sink) {
    if (offset >= total) return false;
    std::size_t n = std::min<std::uint64_t>(piece, total - offset);
    if (body->cutAfter) {
      if (offset >= *body->cutAfter) return false;  // drops the connection mid-body
      n = std::min<std::size_t>(n, *body->cutAfter - offset);
    }
    if (body->chunkDelayMs > 0 && offset > 0 && !pause(body->chunkDelayMs)) return false;
    if (body->generatedSize > 0) {
      std::string buffer(n, '\0');
      for (std::size_t i = 0; i < n; ++i) buffer[i] = body->generator(offset + i);
      return sink.write(buffer.data(), n);
    }
    return sink.write(body->body.data() + offset, n);
  };
  if (body->noContentLength) {
    res.set_chunked_content_provider(
        body->contentType, [provide, total](std::size_t offset, httplib::DataSink& sink) {
          if (offset >= total) {
            sink.done();
            return true;
          }
          return provide(offset, sink);
        });
  } else {
    res.set_content_provider(total, body->contentType,
                             [provide](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                               return provide(offset, sink);
                             });
  }
}

}  // namespace qb::fake

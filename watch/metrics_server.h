#pragma once
// The metrics endpoint: CivetWeb serves GET and HEAD of /metrics with the text the
// watcher's metrics give, 404 for any other path and 405 (with "Allow: GET, HEAD") for
// any other method it parses. CivetWeb's threads do the serving; every request is
// answered by the one begin-request callback here, so no file, directory or script of
// CivetWeb's own is ever reached. Bounded so that no client can hold the watcher up: a
// few worker threads, a short queue of accepted connections, a small listen backlog, a
// request-header size limit and a time-out on every read and write; connections are not
// kept alive.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

struct mg_context;
struct mg_connection;

namespace sc {

struct MetricsAddress {
  std::string host;  // an IPv4 address
  int port = 0;      // 0: any free port (MetricsServer::port() tells which)
};

// "HOST:PORT" or ":PORT" (127.0.0.1). HOST is an IPv4 address or "localhost"; PORT
// 0..65535. Nothing, with the reason in *error, for anything else.
std::optional<MetricsAddress> ParseMetricsAddress(const std::string& text, std::string* error);
// 127.0.0.0/8.
bool IsLoopbackAddress(const std::string& host);

class MetricsServer {
 public:
  struct Limits {
    int threads = 4;             // requests served at once
    int queue = 8;               // accepted connections waiting for a thread
    int backlog = 16;            // connections the kernel holds before they are accepted
    int maxRequestBytes = 8192;  // request line and headers
    int timeoutMs = 3000;        // each read and write
  };

  // Listens on `address` and serves `exposition()` (called on CivetWeb's threads).
  // Nothing, with the reason in *error, when it cannot listen.
  static std::unique_ptr<MetricsServer> Start(const MetricsAddress& address,
                                              std::function<std::string()> exposition,
                                              std::string* error, const Limits& limits);
  static std::unique_ptr<MetricsServer> Start(const MetricsAddress& address,
                                              std::function<std::string()> exposition,
                                              std::string* error) {
    return Start(address, std::move(exposition), error, Limits{});
  }
  ~MetricsServer();
  MetricsServer(const MetricsServer&) = delete;
  MetricsServer& operator=(const MetricsServer&) = delete;

  // The port it listens on.
  int port() const { return port_; }
  const std::string& host() const { return host_; }

 private:
  MetricsServer() = default;
  static int OnRequest(mg_connection* connection);
  int Serve(mg_connection* connection);

  std::function<std::string()> exposition_;
  mg_context* context_ = nullptr;
  std::string host_;
  int port_ = 0;
};

}  // namespace sc

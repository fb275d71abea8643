#include "watch/metrics_server.h"

#include <arpa/inet.h>
#include <civetweb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string_view>
#include <thread>

#include "watch/watch_metrics.h"

namespace sc {

namespace {

constexpr char kPath[] = "/metrics";
constexpr char kAllowed[] = "GET, HEAD";

std::optional<in_addr> Ipv4(const std::string& text) {
  in_addr a{};
  if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return std::nullopt;
  return a;
}

void SendText(mg_connection* c, int status, const char* contentType, const std::string& body,
              bool withBody, const char* allow = nullptr) {
  mg_response_header_start(c, status);
  mg_response_header_add(c, "Content-Type", contentType, -1);
  mg_response_header_add(c, "Content-Length", std::to_string(body.size()).c_str(), -1);
  if (allow) mg_response_header_add(c, "Allow", allow, -1);
  mg_response_header_send(c);
  if (withBody && !body.empty()) mg_write(c, body.data(), body.size());
}

}  // namespace

std::optional<MetricsAddress> ParseMetricsAddress(const std::string& text, std::string* error) {
  auto fail = [&](const std::string& why) -> std::optional<MetricsAddress> {
    if (error) *error = why;
    return std::nullopt;
  };
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos)
    return fail("--metrics takes HOST:PORT or :PORT (\":9105\"), not \"" + text + "\"");
  MetricsAddress a;
  a.host = text.substr(0, colon);
  const std::string port = text.substr(colon + 1);
  if (port.empty() || port.size() > 5 ||
      port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) > 65535)
    return fail("the metrics port is a number 0..65535, not \"" + port + "\"");
  a.port = std::stoi(port);
  if (a.host.empty() || a.host == "localhost") a.host = "127.0.0.1";
  if (!Ipv4(a.host))
    return fail("the metrics address is an IPv4 address (\"127.0.0.1\", \"0.0.0.0\"), not \"" +
                a.host + "\"");
  return a;
}

bool IsLoopbackAddress(const std::string& host) {
  const std::optional<in_addr> a = Ipv4(host);
  return a && (ntohl(a->s_addr) >> 24) == 127;
}

std::unique_ptr<MetricsServer> MetricsServer::Start(const MetricsAddress& address,
                                                    std::function<std::string()> exposition,
                                                    std::string* error, const Limits& limits) {
  std::unique_ptr<MetricsServer> server(new MetricsServer());
  server->exposition_ = std::move(exposition);
  server->host_ = address.host;

  const std::string listen = address.host + ":" + std::to_string(address.port);
  const std::string threads = std::to_string(limits.threads);
  const std::string queue = std::to_string(limits.queue);
  const std::string backlog = std::to_string(limits.backlog);
  const std::string size = std::to_string(limits.maxRequestBytes);
  const std::string timeout = std::to_string(limits.timeoutMs);
  const char* options[] = {"listening_ports",
                           listen.c_str(),
                           "num_threads",
                           threads.c_str(),
                           "connection_queue",
                           queue.c_str(),
                           "listen_backlog",
                           backlog.c_str(),
                           "max_request_size",
                           size.c_str(),
                           "request_timeout_ms",
                           timeout.c_str(),
                           "linger_timeout_ms",
                           "0",
                           "enable_keep_alive",
                           "no",
                           "enable_directory_listing",
                           "no",
                           nullptr};
  mg_callbacks callbacks{};
  callbacks.begin_request = &MetricsServer::OnRequest;
  // CivetWeb's own complaints (a client that went away) are no news for the watcher.
  callbacks.log_message = [](const mg_connection*, const char*) { return 1; };
  mg_init_data init{};
  init.callbacks = &callbacks;
  init.user_data = server.get();
  init.configuration_options = options;
  char text[256] = "";
  unsigned code = 0;
  mg_error_data failure{};
  failure.code = &code;
  failure.text = text;
  failure.text_buffer_size = sizeof text;
  mg_init_library(0);
  server->context_ = mg_start2(&init, &failure);
  if (!server->context_) {
    mg_exit_library();
    if (error)
      *error = "cannot serve the metrics on " + listen + (text[0] ? ": " + std::string(text) : "");
    return nullptr;
  }
  mg_server_port ports[1]{};
  if (mg_get_server_ports(server->context_, 1, ports) == 1) server->port_ = ports[0].port;
  return server;
}

MetricsServer::~MetricsServer() {
  if (!context_) return;
  // CivetWeb's listener looks at its stop flag between waits of up to two seconds for a
  // connection; a connection ends the wait, so the watcher stops at once, not seconds later.
  std::atomic<bool> stopped{false};
  std::thread waker([this, &stopped] {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port_));
    if (::inet_pton(AF_INET, host_.c_str(), &to.sin_addr) != 1 || to.sin_addr.s_addr == 0)
      to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    while (!stopped) {
      const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (fd >= 0) {
        ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        ::close(fd);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  mg_stop(context_);
  stopped = true;
  waker.join();
  mg_exit_library();
}

int MetricsServer::OnRequest(mg_connection* connection) {
  auto* self = static_cast<MetricsServer*>(mg_get_user_data(mg_get_context(connection)));
  return self->Serve(connection);
}

int MetricsServer::Serve(mg_connection* c) {
  const mg_request_info* request = mg_get_request_info(c);
  const char* path = request ? request->local_uri_raw : nullptr;
  const std::string_view method = request && request->request_method ? request->request_method : "";
  if (!path || std::strcmp(path, kPath) != 0) {
    SendText(c, 404, "text/plain; charset=utf-8", "Not found: the metrics are at /metrics\n",
             method != "HEAD");
    return 404;
  }
  if (method != "GET" && method != "HEAD") {
    SendText(c, 405, "text/plain; charset=utf-8", "Only GET and HEAD\n", true, kAllowed);
    return 405;
  }
  SendText(c, 200, WatchMetrics::kContentType, exposition_(), method == "GET");
  return 200;
}

}  // namespace sc

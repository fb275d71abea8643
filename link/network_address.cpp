#include "link/network_address.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

namespace sc {
namespace {

constexpr const char* kRfc2217Scheme = "rfc2217://";
constexpr const char* kTcpScheme = "tcp://";
constexpr size_t kMaxHostName = 253;
constexpr size_t kMaxLabel = 63;

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsAlnum(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Letters, digits and '-' in labels of 1..63 characters that neither begin nor end with
// '-', joined by single dots.
bool IsHostName(const std::string& host) {
  if (host.empty() || host.size() > kMaxHostName) return false;
  size_t start = 0;
  while (start <= host.size()) {
    size_t end = host.find('.', start);
    if (end == std::string::npos) end = host.size();
    const size_t length = end - start;
    if (length == 0 || length > kMaxLabel) return false;
    if (host[start] == '-' || host[end - 1] == '-') return false;
    for (size_t i = start; i < end; ++i)
      if (!IsAlnum(host[i]) && host[i] != '-') return false;
    start = end + 1;
  }
  return true;
}

std::optional<NetworkAddress> Fail(std::string* problem, std::string text) {
  if (problem) *problem = std::move(text);
  return std::nullopt;
}

}  // namespace

const char* SchemeOf(NetworkKind kind) {
  return kind == NetworkKind::Rfc2217 ? kRfc2217Scheme : kTcpScheme;
}

bool IsNetworkPortName(const std::string& name) {
  return StartsWithNoCase(name, kRfc2217Scheme) || StartsWithNoCase(name, kTcpScheme);
}

std::optional<NetworkAddress> ParseNetworkAddress(const std::string& text, std::string* problem) {
  NetworkAddress address;
  std::string rest;
  if (StartsWithNoCase(text, kRfc2217Scheme)) {
    address.kind = NetworkKind::Rfc2217;
    rest = text.substr(std::string(kRfc2217Scheme).size());
  } else if (StartsWithNoCase(text, kTcpScheme)) {
    address.kind = NetworkKind::RawTcp;
    rest = text.substr(std::string(kTcpScheme).size());
  } else if (text.empty()) {
    return Fail(problem, "No address given: write rfc2217://HOST:PORT or tcp://HOST:PORT.");
  } else {
    return Fail(problem, "\"" + text + "\" is not an address: write rfc2217://HOST:PORT or " +
                             "tcp://HOST:PORT.");
  }
  const std::string scheme = SchemeOf(address.kind);
  // Printable characters without spaces only: a control character or a NUL would cut the
  // name short where it is handed on as a C string.
  for (char c : rest)
    if (c < 0x21 || c > 0x7E)
      return Fail(problem, "The address holds a space or a character that is not printable.");

  std::string portText;
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos)
      return Fail(problem, "The IPv6 address in \"" + text + "\" has no closing bracket.");
    address.host = rest.substr(1, close - 1);
    address.ipv6 = true;
    in6_addr parsed{};
    const bool hexAndColons = std::all_of(address.host.begin(), address.host.end(), [](char c) {
      return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.';
    });
    if (address.host.empty() || !hexAndColons ||
        inet_pton(AF_INET6, address.host.c_str(), &parsed) != 1)
      return Fail(problem, "\"" + address.host + "\" is not an IPv6 address.");
    if (close + 1 >= rest.size() || rest[close + 1] != ':')
      return Fail(problem,
                  "\"" + text + "\" has no port: write " + scheme + "[" + address.host + "]:PORT.");
    portText = rest.substr(close + 2);
  } else {
    const size_t colon = rest.find(':');
    if (colon == std::string::npos)
      return Fail(problem, "\"" + text + "\" has no port: write " + scheme + "HOST:PORT, such as " +
                               scheme + "rack-3:7001.");
    if (rest.find(':', colon + 1) != std::string::npos)
      return Fail(problem, "IPv6 addresses go in brackets: " + scheme + "[2001:db8::7]:7001.");
    address.host = rest.substr(0, colon);
    portText = rest.substr(colon + 1);
    if (address.host.empty()) return Fail(problem, "\"" + text + "\" names no host.");
    const bool dotsAndDigits = std::all_of(address.host.begin(), address.host.end(),
                                           [](char c) { return IsDigit(c) || c == '.'; });
    if (dotsAndDigits) {
      in_addr parsed{};
      if (inet_pton(AF_INET, address.host.c_str(), &parsed) != 1)
        return Fail(problem, "\"" + address.host + "\" is not an IPv4 address.");
    } else if (!IsHostName(address.host)) {
      return Fail(problem, "\"" + address.host +
                               "\" is not a host name (letters, digits and '-', in parts "
                               "joined by dots).");
    }
  }
  const bool digitsOnly = !portText.empty() && portText.size() <= 5 &&
                          std::all_of(portText.begin(), portText.end(), IsDigit);
  const int port = digitsOnly ? std::stoi(portText) : 0;
  if (port < 1 || port > 65535)
    return Fail(problem, "The port in \"" + text + "\" must be a number from 1 to 65535.");
  address.port = port;
  return address;
}

std::string FormatNetworkAddress(const NetworkAddress& address) {
  const std::string host = address.ipv6 ? "[" + address.host + "]" : address.host;
  return SchemeOf(address.kind) + host + ":" + std::to_string(address.port);
}

}  // namespace sc

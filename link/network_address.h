#pragma once
// The names of the box's line on a device server: "rfc2217://HOST:PORT" (Telnet with the
// COM-PORT-OPTION: the far side's rate, data bits, parity and stop bits are set from
// here) and "tcp://HOST:PORT" (raw bytes; the far side's rate is whatever the server
// keeps). HOST is an IPv4 address (192.0.2.7), an IPv6 address in brackets ([2001:db8::7])
// or a host name (rack-3, rack-3.studio.example). PORT is 1..65535.
//
// A name passes only whole: no user, path, query or white space, no characters outside
// these forms. The host and port go into a connection string of the stream library,
// where a comma, a bracket or a quote would change its meaning, so nothing else may
// slip through.

#include <optional>
#include <string>

namespace sc {

enum class NetworkKind { Rfc2217, RawTcp };

struct NetworkAddress {
  NetworkKind kind = NetworkKind::Rfc2217;
  std::string host;   // without brackets
  bool ipv6 = false;  // an IPv6 literal (written in brackets)
  int port = 0;

  friend bool operator==(const NetworkAddress&, const NetworkAddress&) = default;
};

// Whether `name` is meant as a network port: it begins with "rfc2217://" or "tcp://"
// (any case). Such a name is never opened as a device, valid or not.
bool IsNetworkPortName(const std::string& name);

// The address in `text`, or nothing with the reason in `problem` (one sentence, naming
// what is wrong). The scheme may be written in any case; host names are kept as given.
std::optional<NetworkAddress> ParseNetworkAddress(const std::string& text,
                                                  std::string* problem = nullptr);

// "rfc2217://rack-3:7001", "tcp://[2001:db8::7]:4001".
std::string FormatNetworkAddress(const NetworkAddress& address);

// "rfc2217://" or "tcp://".
const char* SchemeOf(NetworkKind kind);

}  // namespace sc

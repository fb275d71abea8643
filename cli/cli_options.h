#pragma once
// signal-cli's command line: global options, the command and its words, checked before the
// port is touched, and the help texts of the program and of every command.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "link/frame.h"

namespace sc {

// Exit codes a script can test.
enum CliExit : int {
  kExitDone = 0,
  kExitFailed = 1,           // the box refused, did not take the setting, or sent bad data
  kExitBadArgument = 2,      // usage error: nothing was sent
  kExitPortUnavailable = 3,  // the port could not be opened, or went away
  kExitNoAnswer = 4,         // no box answered in time
  kExitFileError = 5,        // a file could not be read or written
  kExitInterrupted = 130,    // Ctrl+C or SIGTERM
};

inline constexpr std::chrono::milliseconds kDefaultAnswerWait{3000};

struct CliRequest {
  // Global options.
  std::string port;  // "COMn", a number, or a device path; empty: COM1
  std::optional<DeviceAddress> address;
  std::chrono::milliseconds timeout = kDefaultAnswerWait;
  bool timeoutGiven = false;

  bool help = false;  // the program's help, or the command's when `command` is set
  bool version = false;
  std::string command;  // "status", "hpd", ...

  // The command's words and options.
  std::string action;  // on/off, hdmi/sdi, list/select/read/write, frame/line, start/read
  int number = -1;     // volume step, preset, user slot, line, packet list entry, slot length
  std::string file;    // edid write's FILE
  std::string output;  // -o FILE
  bool json = false;
  bool save = false;
  int slotUnit = 0;     // monitor start --unit: 0 seconds, 1 minutes
  int triggerMode = 0;  // monitor start --trigger: 0 image and loss, 1 loss only
  DeviceAddress newAddress;
  std::vector<uint8_t> payload;                       // infoframe decode's bytes
  std::string filter;                                 // log --filter: codes in hex
  std::optional<std::chrono::milliseconds> duration;  // log --for; nothing: until Ctrl+C

  // watch (the values as given; the watch command checks them, with its settings file's)
  std::optional<std::string> boxes;    // --boxes GGDD,...
  std::optional<std::string> book;     // --book: "" the console's address book, or a file
  std::optional<std::string> every;    // --every SECONDS
  std::optional<std::string> metrics;  // --metrics HOST:PORT
  bool metricsPublic = false;
  bool jsonl = false;
  std::string config;  // --config FILE
};

struct CliParse {
  std::optional<CliRequest> request;
  std::string error;  // one line, when request is empty
};

CliParse ParseCommandLine(const std::vector<std::string>& args);

// "COM7", "7" -> 7; anything else -> nothing.
std::optional<int> ParseComPort(const std::string& text);
// Four hexadecimal digits, group first ("0A03").
std::optional<DeviceAddress> ParseAddressArgument(const std::string& text);
// An InfoFrame type as the list names it ("5-AVI_INF"), its name with or without "_INF"
// ("AVI_INF", "avi", "drm"), its list number ("5") or the type code the box is asked for
// ("0x82"). Returns the list entry.
std::optional<int> ParsePacketType(const std::string& text);

std::string ProgramHelp();
// "" for a command that does not exist.
std::string CommandHelp(const std::string& command);
std::vector<std::string> CommandNames();

}  // namespace sc

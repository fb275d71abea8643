// signal-cli with the box behind a device server: --port rfc2217://HOST:PORT and
// tcp://HOST:PORT against a ser2net of the test's own in front of the simulated box, the
// same answers as on the local line, and the exit codes of what fails. Skipped where
// ser2net is not installed.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli_options.h"
#include "cli/signal_cli.h"
#include "sim/box_server.h"
#include "tests/support/rfc2217_test_server.h"
#include "tests/support/ser2net.h"
#include "tests/support/temp_dir.h"

namespace sc {
namespace {

struct CliRun {
  int rc = -1;
  std::string out, err;
};

class NetworkCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Ser2net::Available()) GTEST_SKIP() << "ser2net is not installed (scripts/deps.sh)";
    ASSERT_TRUE(box.StartOnPty());
  }

  CliRun Cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    CliEnvironment env;
    env.out = &out;
    env.err = &err;
    env.executablePath = settingsDir / "signal-cli";
    SettingsEnvironment settings;
    settings.directoryWritable = [](const std::string&) { return true; };
    env.settingsEnvironment = settings;
    env.systemPorts = [] { return PortDirectory::Build("", {}); };
    CliRun run;
    run.rc = RunSignalCli(args, env);
    run.out = out.str();
    run.err = err.str();
    return run;
  }
  std::string Behind(Ser2net& server, Ser2net::Kind kind) {
    std::string error;
    EXPECT_TRUE(server.Start(kind, box.path(), &error)) << error;
    return server.url();
  }

  BoxServer box{{{0x01, 0x01}}};
  TempDir settingsDir;
};

TEST_F(NetworkCliTest, StatusJsonThroughTheNetworkIsTheLocalAnswer) {
  const CliRun local = Cli({"--port", box.path(), "status", "--json"});
  ASSERT_EQ(local.rc, kExitDone) << local.err;
  nlohmann::json want = nlohmann::json::parse(local.out);
  EXPECT_EQ(want["device"], box.path());
  want.erase("port");
  want.erase("device");
  for (const auto kind : {Ser2net::Kind::Rfc2217, Ser2net::Kind::RawTcp}) {
    Ser2net server;
    const std::string url = Behind(server, kind);
    SCOPED_TRACE(url);
    const CliRun remote = Cli({"--port", url, "status", "--json"});
    ASSERT_EQ(remote.rc, kExitDone) << remote.err;
    nlohmann::json seen = nlohmann::json::parse(remote.out);
    EXPECT_EQ(seen["port"], "COM1");
    EXPECT_EQ(seen["device"], url);
    seen.erase("port");
    seen.erase("device");
    EXPECT_EQ(seen, want);
    EXPECT_EQ(remote.err, "");
  }
}

TEST_F(NetworkCliTest, SearchNamesTheDeviceServersPort) {
  Ser2net server;
  const std::string url = Behind(server, Ser2net::Kind::Rfc2217);
  const CliRun run = Cli({"--port", url, "search"});
  EXPECT_EQ(run.rc, kExitDone) << run.err;
  EXPECT_EQ(run.out, "COM1 " + url + " 0101\n");
}

TEST_F(NetworkCliTest, ExitCodesTellWhatWentWrongOnTheNetwork) {
  Ser2net raw;
  const std::string rawUrl = Behind(raw, Ser2net::Kind::RawTcp);
  QuietListener silentRaw(false);
  Rfc2217TestServer neverNegotiates(Rfc2217TestServer::Mode::Silent);
  const std::string closed = "rfc2217://127.0.0.1:" + std::to_string(FreeLocalPort());
  const std::string quiet = "tcp://127.0.0.1:" + std::to_string(silentRaw.port());
  struct Case {
    std::vector<std::string> args;
    int rc;
    std::string err;  // the one line on standard error, or its start
  };
  const Case cases[] = {
      {{"--port", closed, "status"},
       kExitPortUnavailable,
       "signal-cli: " + closed + ": connection refused"},
      {{"--port", neverNegotiates.url(), "--timeout", "0.3", "status"},
       kExitPortUnavailable,
       "signal-cli: " + neverNegotiates.url() +
           ": the device server accepted the connection but did not negotiate RFC 2217 within "
           "0.3 s"},
      // A silent raw port cannot be told from a silent box.
      {{"--port", quiet, "--timeout", "0.3", "status"},
       kExitNoAnswer,
       "signal-cli: no box answered on " + quiet + " within 0.3 s"},
      {{"--port", closed, "search"},
       kExitPortUnavailable,
       "signal-cli: Can not find available device for this console!"},
      {{"--port", "rfc2217://rack-3", "status"},
       kExitBadArgument,
       "signal-cli: --port rfc2217://rack-3: \"rfc2217://rack-3\" has no port"},
      {{"--port", "tcp://[::1:7001", "status"},
       kExitBadArgument,
       "signal-cli: --port tcp://[::1:7001: The IPv6 address"},
      {{"--port", rawUrl, "capture", "line", "3"},
       kExitFailed,
       "signal-cli: A capture runs at 512000 baud, but " + rawUrl + " passes raw bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const CliRun run = Cli(c.args);
    EXPECT_EQ(run.rc, c.rc) << run.err;
    EXPECT_EQ(run.err.rfind(c.err, 0), 0u) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

}  // namespace
}  // namespace sc

// signal-cli: the box from the command line, for scripts and test benches.

#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/signal_cli.h"

namespace {

sc::CliHost* interruptTarget = nullptr;

void OnSignal(int) {
  if (interruptTarget) interruptTarget->Interrupt();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  sc::CliHost host;
  interruptTarget = &host;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  sc::CliEnvironment environment;
  environment.out = &std::cout;
  environment.err = &std::cerr;
  environment.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
  environment.outIsTerminal = ::isatty(STDOUT_FILENO) == 1;
  environment.host = &host;
  const int rc = sc::RunSignalCli(args, environment);
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "signal-cli: cannot write the output\n";
    return rc == 0 ? 1 : rc;
  }
  return rc;
}

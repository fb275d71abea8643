// signal-box-sim: simulated analyzer boxes on a pseudo-terminal or a serial device.
// Standard output carries the line's path and nothing else; answers to the commands on
// standard input go to standard error.

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/box_server.h"
#include "sim/sim_commands.h"

namespace {

constexpr size_t kMaxLine = 1024;

void Say(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto options = sc::ParseSimOptions(args, &error);
  if (!options) {
    Say("signal-box-sim: " + error + "\nTry 'signal-box-sim --help'.\n");
    return 2;
  }
  if (options->help) {
    std::fputs(sc::SimUsage().c_str(), stdout);
    return 0;
  }

  // A reader of our output that went away must not kill us mid-write.
  ::signal(SIGPIPE, SIG_IGN);
  // Termination signals arrive through a descriptor, so that every exit is a clean one;
  // they are blocked before the server's thread starts, which inherits the mask.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGHUP);
  if (sigprocmask(SIG_BLOCK, &stops, nullptr) != 0) {
    Say(std::string("signal-box-sim: sigprocmask: ") + std::strerror(errno) + "\n");
    return 1;
  }
  const int signalFd = signalfd(-1, &stops, SFD_CLOEXEC);
  if (signalFd < 0) {
    Say(std::string("signal-box-sim: signalfd: ") + std::strerror(errno) + "\n");
    return 1;
  }

  sc::BoxSignal signal = *sc::FindBoxSignal(options->signal);
  signal.hdr10 = options->hdr10;
  sc::BoxServer server(options->addresses);
  server.SetPacing(options->pace);
  server.WithLine([&](sc::BoxLine& line) {
    for (size_t k = 0; k < line.size(); ++k) {
      line.box(k).SetInput(options->input, false);
      line.box(k).SetSignal(signal, false);
      if (options->chaos)
        line.box(k).faults().chaos.emplace(options->chaos->seed, options->chaos->rate,
                                           line.box(k).address());
    }
  });
  const bool started = options->device.empty()
                           ? server.StartOnPty(&error)
                           : server.StartOnDevice(options->device, options->baud, &error);
  if (!started) {
    Say("signal-box-sim: " + error + "\n");
    return 1;
  }
  std::printf("%s\n", server.path().c_str());
  std::fflush(stdout);

  sc::SimCommandInterpreter interpreter(server);
  std::string pending;
  bool discarding = false;  // the rest of an over-long line
  int status = 0;
  bool running = true;
  while (running) {
    pollfd fds[3] = {
        {STDIN_FILENO, POLLIN, 0}, {signalFd, POLLIN, 0}, {server.stateFd(), POLLIN, 0}};
    if (::poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      Say(std::string("signal-box-sim: poll: ") + std::strerror(errno) + "\n");
      status = 1;
      break;
    }
    if (fds[1].revents & POLLIN) break;
    if (fds[2].revents & POLLIN) {
      uint64_t count;
      ssize_t n = ::read(server.stateFd(), &count, sizeof count);
      (void)n;
      if (server.state() == sc::BoxServer::State::LineLost) {
        Say("signal-box-sim: " + server.path() + ": the line is gone\n");
        status = 1;
        break;
      }
    }
    if (fds[0].revents & POLLNVAL) break;  // no standard input at all
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      char buffer[512];
      ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) break;  // end of input: done
      for (ssize_t i = 0; i < n && running; ++i) {
        const char c = buffer[i];
        if (c != '\n') {
          if (discarding) continue;
          if (pending.size() == kMaxLine) {
            Say("error: line too long\n");
            pending.clear();
            discarding = true;
            continue;
          }
          pending += c;
          continue;
        }
        if (!discarding) {
          auto result = interpreter.Execute(pending);
          Say(result.text);
          if (result.quit) running = false;
        }
        pending.clear();
        discarding = false;
      }
    }
  }
  server.Stop();
  ::close(signalFd);
  return status;
}

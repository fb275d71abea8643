#include "fuzz/fuzz_host.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace sc::fuzz {

const std::string& ScratchDirectory() {
  static const std::string directory = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/sc-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) Fail("cannot make a scratch directory");
    return pattern;
  }();
  return directory;
}

std::string WriteScratchFile(const std::string& name, std::string_view bytes) {
  const std::string path = ScratchDirectory() + "/" + name;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) Fail("cannot write a scratch file");
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) Fail("cannot write a scratch file");
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  return path;
}

void Fail(const char* what) {
  std::fprintf(stderr, "property failed: %s\n", what);
  std::abort();
}

}  // namespace sc::fuzz

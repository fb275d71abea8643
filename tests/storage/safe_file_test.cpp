// Which names are this program's temporaries: only those are ever removed.

#include "storage/safe_file.h"

#include <gtest/gtest.h>

namespace sc {
namespace {

TEST(SafeFile, OnlyTheTemporariesThisProgramMakesAreRecognised) {
  const struct {
    const char* name;
    const char* target;  // nullptr: not a temporary
    long pid;
  } cases[] = {
      {".TQ.ini.1234-0-987654", "TQ.ini", 1234},
      {".TQ_EDID07.bin.42-17-1", "TQ_EDID07.bin", 42},
      {".a.b.c.9-9-9", "a.b.c", 9},
      {"TQ.ini.1234-0-9", nullptr, 0},         // no leading dot
      {".TQ.ini.1234-0", nullptr, 0},          // two numbers only
      {".TQ.ini.1234-0-9x", nullptr, 0},       // not digits
      {".TQ.ini.-1-0-9", nullptr, 0},          // empty number
      {"..1-2-3", nullptr, 0},                 // no target
      {".TQ.ini.1234567890-0-9", nullptr, 0},  // no process has such an id
      {".bashrc", nullptr, 0},
  };
  for (const auto& c : cases) {
    std::string_view target;
    long pid = 0;
    const bool ours = ParseTemporaryName(c.name, &target, &pid);
    EXPECT_EQ(ours, c.target != nullptr) << c.name;
    if (ours && c.target) {
      EXPECT_EQ(target, c.target) << c.name;
      EXPECT_EQ(pid, c.pid) << c.name;
    }
  }
}

}  // namespace
}  // namespace sc

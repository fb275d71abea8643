#pragma once
// A fresh directory under /tmp for one test, removed with everything in it afterwards.

#include <filesystem>
#include <string>

namespace sc {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The whole content of a file ("" when it cannot be read).
std::string ReadText(const std::string& path);

}  // namespace sc

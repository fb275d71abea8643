#include "cli/file_output.h"

#include <cerrno>
#include <cstring>

#include "storage/safe_file.h"

namespace sc {

std::string WriteFileWhole(const std::string& path, std::string_view bytes) {
  const SafeWriteResult result = ReplaceFileSafely(path, bytes);
  if (result.ok()) return {};
  if (result.error == EEXIST) return "Cannot write " + path + ": not a regular file";
  return "Cannot write " + path + ": " + std::strerror(result.error);
}

}  // namespace sc

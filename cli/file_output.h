#pragma once
// Files signal-cli writes (a preview, an EDID), through the safe write: a temporary beside
// the name, flushed to disk and renamed into place, so a failure never leaves half a file
// nor touches the one it would have replaced.

#include <string>
#include <string_view>

namespace sc {

// Empty on success, else why the file was not written ("Cannot write NAME: reason").
// Something at `path` that is not a regular file (a directory, a device) is refused.
std::string WriteFileWhole(const std::string& path, std::string_view bytes);

}  // namespace sc

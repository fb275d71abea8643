#pragma once
// Files the console writes (the settings file, EDID files, and later reports and
// bitmaps) go through here, so that a crash or a kill at any moment leaves either the old
// file or the new one whole, never an empty or half-written file under the real name.
//
// The bytes go to a temporary file beside the target (same directory, so the rename
// cannot cross file systems), named "." + target name + "." + PID-counter-tick, are
// flushed to the disk, and only then put in place: by rename() over an existing file, or
// for a new name by an exclusive rename that fails when the name has meanwhile been
// taken. A temporary left by a killed process is removed by the next write beside it.

#include <cstddef>
#include <string>
#include <string_view>

namespace sc {

struct SafeWriteResult {
  int error = 0;            // 0, or the errno of the step that failed
  bool created = false;     // the temporary could be created: a failure came later
  bool readFailed = false;  // a copy's source could not be read (error is why)
  bool ok() const { return error == 0; }
};

// Replaces the file at `path` with `bytes` (or creates it when nothing is there). Whatever
// is at the path must be a regular file: a symbolic link, a FIFO, a device or a directory
// is refused with EEXIST and left alone. The old file's permission bits carry over.
SafeWriteResult ReplaceFileSafely(const std::string& path, std::string_view bytes);

// Creates a new file at `path` holding `bytes`; EEXIST when anything has that name (a
// dangling link too). The name appears only with its whole content.
SafeWriteResult CreateFileSafely(const std::string& path, std::string_view bytes);

// Replaces (or creates) the file at `path` with a copy of the regular file `source`, the
// same way: the copy is whole before it takes the name. A source that cannot be opened or
// read, or is not a regular file, fails with readFailed set.
SafeWriteResult CopyFileSafely(const std::string& source, const std::string& path);

// For a writer that streams its bytes: a fresh temporary beside `path` (named as above;
// -1 with errno on failure), and, once it is written and flushed, putting it in place:
// over whatever regular file is at `path` (replace), or only where nothing has that name
// (EEXIST otherwise). Anything but a regular file at `path` is refused with EEXIST. 0 or
// the errno; the temporary stays on failure, for the caller to remove or place elsewhere.
int CreateTemporaryBeside(const std::string& path, std::string& tempPath);
int PlaceTemporary(const std::string& tempPath, const std::string& path, bool replace);

// Removes the temporaries of `path` that a process no longer running left behind.
// Returns how many were removed.
int RemoveStaleTemporaries(const std::string& path);
// The same for every target in `directory` whose name begins with `prefix`.
int RemoveStaleTemporariesIn(const std::string& directory, std::string_view prefix);

// `directory`/`name` ("." or "" means the current directory: the bare name).
std::string JoinPath(const std::string& directory, const std::string& name);
// Something, even a dangling link, has this name.
bool PathExists(const std::string& path);
// Writes all `count` bytes to `fd`, retrying short writes; 0 or the errno of the failure
// (ENOSPC for a write that makes no progress).
int WriteAll(int fd, const void* bytes, size_t count);

// When `name` (a bare file name) is one of this program's temporaries, the name of its
// target and the writer's process id.
bool ParseTemporaryName(std::string_view name, std::string_view* target, long* pid);

}  // namespace sc

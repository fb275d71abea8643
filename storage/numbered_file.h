#pragma once
// Numbered output files ("TQ_EDID%02d.txt", "TQ5R_StatusRecord%02d.txt",
// "IMAGEFULL_BMP%02d.BMP"): the first number 00..99 whose name nothing in the directory
// has, taken by an exclusive placement, so a file another program or another save creates
// meanwhile is never replaced (the next free number is taken instead); when all hundred
// exist, number 99 is replaced, and only when it is a regular file. The bytes go to a
// temporary beside the name first (see safe_file.h); temporaries that killed saves of the
// same kind left are removed before each save.

#include <functional>
#include <string>
#include <string_view>

namespace sc {

// Messages the console shows for a failed save.
inline constexpr char kCreateFailedMessage[] = "Faild to create file";
inline constexpr char kMissingAfterCreateMessage[] = "failed";

struct NumberedFileResult {
  enum class Status {
    kSaved,
    kCreateFailed,        // no file could be made (or number 99 is not a regular file)
    kMissingAfterCreate,  // the file was not there right after it was placed
    kWriteFailed,         // its bytes did not all reach the disk, or it could not take its name
  };
  Status status = Status::kCreateFailed;
  std::string name;  // the name written (the one tried, on failure)
  int error = 0;     // errno of a failed write
  bool ok() const { return status == Status::kSaved; }
  // The console's message for a failure: "Faild to create file", "failed", or "Failed to
  // write NAME (reason)".
  std::string FailureMessage() const;
};

// The first free name of `pattern` (one "%02d") in `directory`, or number 99 when all are
// taken (`allTaken` then set). Anything by that name counts, a dangling link too.
std::string FirstFreeNumberedName(const std::string& directory, const char* pattern,
                                  bool* allTaken = nullptr);

// Writes `bytes` under the first free name of `pattern` in `directory`.
NumberedFileResult WriteNumberedFile(const std::string& directory, const char* pattern,
                                     std::string_view bytes);
// The same for a writer that streams its content into the open file; `write` returns 0
// or an errno.
NumberedFileResult WriteNumberedFile(const std::string& directory, const char* pattern,
                                     const std::function<int(int fd)>& write);

}  // namespace sc

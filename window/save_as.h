#pragma once
// "Save As..." beside the numbered saves: the standard file dialog through the host, the
// folder the console's file dialogs start in, and the name a chosen path must have. The
// pages' Save As operations end in an Outcome like every other operation.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "window/host.h"

namespace sc {

// Where the console's file dialogs start: the folder the last one chose, while the
// console runs (the page's own folder before any was chosen).
class FileDialogFolder {
 public:
  std::string Start(const std::string& fallback) const { return last_.empty() ? fallback : last_; }
  // Remembers the folder of a chosen path.
  void Chose(const std::string& path);

 private:
  std::string last_;
};

// Asks the host where to save, starting in the remembered folder (or `fallbackFolder`) with
// `suggestedName`; remembers the folder chosen. Nothing when the user cancelled.
std::optional<std::string> ChooseSavePath(Host& host, FileDialogFolder* folder,
                                          const std::string& filters,
                                          const std::string& fallbackFolder,
                                          const std::string& suggestedName);

// The extension of a path's file name ("" when it has none), as it is written.
std::string_view FileExtension(std::string_view path);
// The file name of a path.
std::string_view FileName(std::string_view path);

// The path a Save As writes: `path` as chosen when its extension is one of `allowed`
// (compared as `caseSensitive` says), with ".<allowed[0]>" added when it has none, and
// nothing when it has another one.
std::optional<std::string> SavePathWithExtension(const std::string& path,
                                                 const std::vector<std::string>& allowed,
                                                 bool caseSensitive);

// "Failed to write PATH (reason)" for a write that failed with `error` (an errno).
std::string WriteFailedMessage(const std::string& path, int error);

}  // namespace sc

#include "window/save_as.h"

#include <cerrno>
#include <cstring>

namespace sc {

namespace {

bool SameText(std::string_view a, std::string_view b, bool caseSensitive) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (!caseSensitive) {
      if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
      if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    }
    if (x != y) return false;
  }
  return true;
}

}  // namespace

void FileDialogFolder::Chose(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return;  // a bare name: the folder stays as it was
  last_ = slash == 0 ? "/" : path.substr(0, slash);
}

std::optional<std::string> ChooseSavePath(Host& host, FileDialogFolder* folder,
                                          const std::string& filters,
                                          const std::string& fallbackFolder,
                                          const std::string& suggestedName) {
  const std::string start = folder ? folder->Start(fallbackFolder) : fallbackFolder;
  std::optional<std::string> chosen = host.ChooseSaveFile(filters, start, suggestedName);
  if (!chosen || chosen->empty()) return std::nullopt;
  if (folder) folder->Chose(*chosen);
  return chosen;
}

std::string_view FileName(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view FileExtension(std::string_view path) {
  const std::string_view name = FileName(path);
  const size_t dot = name.rfind('.');
  // A leading dot names a hidden file, not an extension.
  return dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot + 1);
}

std::optional<std::string> SavePathWithExtension(const std::string& path,
                                                 const std::vector<std::string>& allowed,
                                                 bool caseSensitive) {
  const std::string_view extension = FileExtension(path);
  if (extension.empty()) return allowed.empty() ? path : path + "." + allowed.front();
  for (const std::string& one : allowed)
    if (SameText(extension, one, caseSensitive)) return path;
  return std::nullopt;
}

std::string WriteFailedMessage(const std::string& path, int error) {
  // Only a regular file is replaced: anything else at the name is left alone.
  const char* reason = error == EEXIST ? "not a regular file" : std::strerror(error);
  return "Failed to write " + path + " (" + reason + ")";
}

}  // namespace sc

#include "paths.h"

#include <filesystem>
#include <system_error>

namespace station {

std::string ToSlashPath(std::string_view path) {
  std::string out(path);
  for (char &c : out)
    if (c == '\\') c = '/';
  return out;
}

std::string FolderOf(std::string_view path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string_view::npos) return "./";
  return std::string(path.substr(0, slash + 1));
}

std::string ProgramFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return AbsoluteWorkingFolder();
  return FolderOf(exe.string());
}

std::string AbsoluteWorkingFolder() {
  std::error_code ec;
  auto cwd = std::filesystem::current_path(ec).string();
  if (ec || cwd.empty()) return "./";
  if (cwd.back() != '/') cwd += '/';
  return cwd;
}

}  // namespace station

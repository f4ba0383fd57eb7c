#include "app/model/converterhost.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "platform/files.h"

namespace fs = std::filesystem;

static std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

std::string TPlatformConverterHost::ProgramFolder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return WithSlash(fs::current_path(ec).string());
  return WithSlash(exe.parent_path().string());
}

std::string TPlatformConverterHost::HomeFolder() {
  const char* home = std::getenv("HOME");
  return WithSlash(home && *home ? home : "/");
}

bool TPlatformConverterHost::DirectoryExists(const std::string& path) { return ::DirectoryExists(path); }

bool TPlatformConverterHost::DirectoryWritable(const std::string& path) {
  return DirectoryExists(path) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/stream.h"

std::string ExtractFileExt(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos) return {};
  const size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > dot) return {};
  return path.substr(dot);
}

std::string ExtractFileName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFilePath(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileBaseName(const std::string& path) {
  const std::string name = ExtractFileName(path);
  const size_t cut = std::min(name.size(), ExtractFileExt(path).size());
  return name.substr(0, name.size() - cut);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& path) { return !path.empty() && ::unlink(path.c_str()) == 0; }

bool RenameFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool CopyFile(const std::string& from, const std::string& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out < 0) {
    ::close(in);
    return false;
  }
  std::vector<char> buffer(1 << 20);
  bool ok = true;
  for (;;) {
    const ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(out, buffer.data() + done, size_t(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        ok = false;
        break;
      }
      done += put;
    }
    if (!ok) break;
  }
  ::close(in);
  if (::close(out) != 0) ok = false;
  if (!ok) ::unlink(to.c_str());
  return ok;
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) throw EStreamError("Cannot Create Directory");
  std::string dir = path;
  if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (dir == "/" || DirectoryExists(dir)) return true;
  const size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !ForceDirectories(dir.substr(0, slash))) return false;
  return ::mkdir(dir.c_str(), 0777) == 0 || (errno == EEXIST && DirectoryExists(dir));
}

std::string SystemTempPath() {
  constexpr size_t kMaxTempPath = 250;
  const char* env = std::getenv("TMPDIR");
  std::string dir = env ? env : "";
  if (dir.empty() || dir.size() > kMaxTempPath) dir = "/tmp";
  return dir;
}

std::string TempFolder(const std::string& configured) {
  const std::string dir = configured.empty() ? SystemTempPath() : configured;
  ForceDirectories(dir);
  return dir;
}

std::string CreateTempFile(const std::string& folder, const std::string& prefix) {
  if (folder.empty()) return {};
  std::string name = folder;
  if (name.back() != '/') name += '/';
  name += prefix + "XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return {};
  ::close(fd);
  return name;
}

std::string CreateSiblingTempFile(const std::string& target) {
  std::string folder = ExtractFilePath(target);
  if (folder.empty()) folder = "./";
  return CreateTempFile(folder, "." + ExtractFileName(target) + ".talvex");
}

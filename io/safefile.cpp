#include "io/safefile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/files.h"

namespace {

// Writing through a symbolic link must replace the file it names, not the link.
std::string ResolveTarget(const std::string& target) {
  std::error_code ec;
  if (std::filesystem::is_symlink(target, ec)) {
    auto real = std::filesystem::weakly_canonical(target, ec);
    if (!ec) return real.string();
  }
  return target;
}

}  // namespace

TIOSafeFile::TIOSafeFile(const std::string& target) : target_(ResolveTarget(target)) {
  struct stat st {};
  if (::stat(target_.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw EStreamError("Cannot create file \"" + target + "\". Is a directory");
  temp_ = CreateSiblingTempFile(target_);
  if (temp_.empty())
    throw EStreamError("Cannot create file \"" + target + "\". " + std::strerror(errno));
  // The replacement keeps the permissions of the file it replaces.
  ::chmod(temp_.c_str(), ::stat(target_.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
  try {
    stream_ = std::make_unique<TFileStream>(temp_, TFileMode::fmOpenReadWrite);
  } catch (...) {
    DeleteFile(temp_);
    throw;
  }
}

TIOSafeFile::~TIOSafeFile() { Discard(); }

void TIOSafeFile::Commit() {
  if (temp_.empty()) return;
  stream_.reset();
  if (!RenameFile(temp_, target_)) {
    const int err = errno;
    Discard();
    throw EStreamError("Cannot create file \"" + target_ + "\". " + std::strerror(err));
  }
  temp_.clear();
}

void TIOSafeFile::Discard() {
  stream_.reset();
  if (!temp_.empty()) {
    DeleteFile(temp_);
    temp_.clear();
  }
}

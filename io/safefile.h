#pragma once
// A file write that replaces its target only once it has succeeded: the data goes
// to a temporary file beside the target, which Commit renames over the target.
// Without Commit (failure, abort, exception) the temporary file is removed and an
// existing target is left as it was.
#include <memory>
#include <string>

#include "platform/stream.h"

class TIOSafeFile {
public:
  // Raises EStreamError when the file cannot be created.
  explicit TIOSafeFile(const std::string& target);
  ~TIOSafeFile();
  TIOSafeFile(const TIOSafeFile&) = delete;
  TIOSafeFile& operator=(const TIOSafeFile&) = delete;

  TStream& Stream() { return *stream_; }
  // Closes and renames over the target; raises EStreamError when that fails.
  void Commit();
  void Discard();

private:
  std::string target_, temp_;
  std::unique_ptr<TFileStream> stream_;
};

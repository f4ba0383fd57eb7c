#include "platform/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(count, 1 << 20)));
  int64_t done = 0;
  while (done < count) {
    int64_t n = source.Read(buf.data(), std::min<int64_t>(count - done, static_cast<int64_t>(buf.size())));
    if (n <= 0) break;
    int64_t w = Write(buf.data(), n);
    done += w;
    if (w < n) break;
  }
  return done;
}

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : name_(fileName) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case TFileMode::fmOpenRead: flags |= O_RDONLY; break;
    case TFileMode::fmOpenReadWrite: flags |= O_RDWR; break;
    case TFileMode::fmCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
  }
  fd_ = ::open(fileName.c_str(), flags, 0644);
  if (fd_ < 0) {
    const char* what = mode == TFileMode::fmCreate ? "Cannot create file \"" : "Cannot open file \"";
    throw EStreamError(what + fileName + "\". " + std::strerror(errno));
  }
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    throw EStreamError("Cannot open file \"" + fileName + "\". Is a directory");
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

bool TFileStream::SyncOffset() {
  if (offset_ == position_) return true;
  if (::lseek(fd_, static_cast<off_t>(position_), SEEK_SET) < 0) return false;
  offset_ = position_;
  return true;
}

int64_t TFileStream::ReadAtOffset(uint8_t* out, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fd_, out + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  offset_ += done;
  return done;
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t inBuffer = position_ - bufferStart_;
    if (inBuffer >= 0 && inBuffer < bufferLength_) {
      const int64_t n = std::min(count - done, bufferLength_ - inBuffer);
      std::memcpy(out + done, buffer_.get() + inBuffer, static_cast<size_t>(n));
      position_ += n;
      done += n;
      continue;
    }
    if (!SyncOffset()) break;
    if (count - done >= kBufferSize) {
      const int64_t n = ReadAtOffset(out + done, count - done);
      position_ += n;
      done += n;
      break;
    }
    if (!buffer_) buffer_ = std::make_unique<uint8_t[]>(size_t(kBufferSize));
    bufferStart_ = position_;
    bufferLength_ = ReadAtOffset(buffer_.get(), kBufferSize);
    if (bufferLength_ == 0) break;
  }
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  bufferLength_ = 0;  // what was read ahead may be what is written now
  if (!SyncOffset()) return 0;
  auto* p = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  offset_ += done;
  position_ += done;
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? position_ : Size();
  const int64_t target = base + offset;
  if (target < 0) return -1;
  position_ = target;
  return position_;
}

int64_t TFileStream::Size() {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return 0;
  return static_cast<int64_t>(st.st_size);
}

void TFileStream::SetSize(int64_t size) {
  bufferLength_ = 0;
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
    throw EStreamError("Cannot set the size of \"" + name_ + "\". " + std::strerror(errno));
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || pos_ >= Size()) return 0;
  int64_t n = std::min(count, Size() - pos_);
  std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
  pos_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (pos_ + count > Size()) data_.resize(static_cast<size_t>(pos_ + count));
  std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(count));
  pos_ += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? pos_ : Size();
  pos_ = std::max<int64_t>(0, base + offset);
  return pos_;
}

void TMemoryStream::SetSize(int64_t size) {
  data_.resize(static_cast<size_t>(std::max<int64_t>(0, size)));
  pos_ = std::min(pos_, Size());
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, TFileMode::fmOpenRead);
  data_.resize(static_cast<size_t>(f.Size()));
  data_.resize(static_cast<size_t>(f.Read(data_.data(), static_cast<int64_t>(data_.size()))));
  pos_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
  TFileStream f(fileName, TFileMode::fmCreate);
  if (f.Write(data_.data(), Size()) != Size()) throw EStreamError("Cannot write file \"" + fileName + "\"");
}

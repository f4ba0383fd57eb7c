#pragma once
// Byte streams shared by the controller and every codec.
#include <cstdint>
#include <stdexcept>
#include <memory>
#include <string>
#include <vector>

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// Raised by the file layer (a file that cannot be opened or created).
class EStreamError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class TStream {
public:
  virtual ~TStream() = default;
  // Reads up to count bytes; returns how many were read (short at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes up to count bytes; returns how many were taken.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Returns the new position.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size() = 0;
  virtual void SetSize(int64_t size) = 0;

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
  // Bytes left from the position to the end.
  int64_t Remaining() { int64_t p = Position(); int64_t s = Size(); return s > p ? s - p : 0; }
  // Copies count bytes (all when count is 0) from source's position; returns bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

enum class TFileMode { fmOpenRead, fmOpenReadWrite, fmCreate };

// A file. Reads go through a buffer (small reads cost no system call; reads of a
// buffer's size or more go straight to the caller), and the position is kept
// here, so Position() and seeks cost none either; writes go straight to the file.
class TFileStream : public TStream {
public:
  static constexpr int64_t kBufferSize = 64 * 1024;

  // Throws EStreamError when the file cannot be opened or created.
  TFileStream(const std::string& fileName, TFileMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // Returns the new position, or -1 (position unchanged) for a negative one.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t size) override;
  const std::string& FileName() const { return name_; }

private:
  // Moves the file's own offset to the stream position when they differ.
  bool SyncOffset();
  // Reads at the file's offset until count bytes, the end or an error.
  int64_t ReadAtOffset(uint8_t* out, int64_t count);

  int fd_ = -1;
  std::string name_;
  std::unique_ptr<uint8_t[]> buffer_;
  int64_t bufferStart_ = 0;  // file offset of buffer_[0]
  int64_t bufferLength_ = 0;
  int64_t position_ = 0;     // the stream's position
  int64_t offset_ = 0;       // the file's own offset
};

class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t size) override;
  const std::vector<uint8_t>& Data() const { return data_; }
  std::vector<uint8_t>& Data() { return data_; }
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName);

private:
  std::vector<uint8_t> data_;
  int64_t pos_ = 0;
};

#pragma once
// TLXFileBuffer: the temporary file that holds the rows of a file-located
// bitmap, handing out one memory copy of a block at a time.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/stream.h"

class TLXFileBuffer {
public:
  enum : uint8_t { fbRead = 1, fbWrite = 2 };

  // Process-wide folder for new temporary files; empty: $TMPDIR or /tmp.
  static std::string TempDirectory;

  TLXFileBuffer();
  ~TLXFileBuffer();
  TLXFileBuffer(const TLXFileBuffer&) = delete;
  TLXFileBuffer& operator=(const TLXFileBuffer&) = delete;

  bool IsOpen() const { return stream_ != nullptr; }
  const std::string& FileName() const { return fileName_; }
  int64_t FileSize();

  // Creates (replacing) the named file, or a fresh "talvex" temporary file when
  // name is empty, of size bytes. False, and no stream, on any failure of the
  // file itself; a temporary folder that cannot be made raises EStreamError
  // "Cannot Create Directory".
  bool CreateFile(const std::string& name, int64_t size);
  void SetFileSize(int64_t size);

  // A block of size bytes for the file range at offset; filled from the file
  // when access has fbRead. Short reads raise EStreamError.
  uint8_t* MapBlock(uint8_t access, int64_t size, int64_t offset);
  // Writes the block back when it was mapped with fbWrite, then frees it.
  void UnmapBlock(uint8_t* block);
  void UnmapAll();
  int MappedCount() const { return int(blocks_.size()); }

  // Copies size bytes at offset of this file into target's file at the same
  // offset; both must be open. A whole-file copy goes through the OS copy and
  // never loses the target: on failure it falls back to the chunked copy.
  void CopyTo(TLXFileBuffer* target, int64_t size, int64_t offset);
  // Unmaps everything, closes and deletes the file.
  void CloseFile();

private:
  struct TBlock {
    int64_t offset = 0, size = 0;
    std::unique_ptr<uint8_t[]> data;
    uint8_t access = 0;
  };
  void WriteBack(TBlock& block);
  void CopyChunked(TLXFileBuffer* target, int64_t size, int64_t offset);
  bool CopyWholeFile(TLXFileBuffer* target);
  void Reopen();

  std::string fileName_;
  std::unique_ptr<TFileStream> stream_;
  std::vector<TBlock> blocks_;
};


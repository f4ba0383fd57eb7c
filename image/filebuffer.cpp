#include "image/filebuffer.h"

#include <algorithm>

#include "platform/files.h"

std::string TLXFileBuffer::TempDirectory;

namespace {

constexpr int64_t kCopyChunk = 1 << 20;

std::string NewTempFile() {
  const std::string folder = TempFolder(TLXFileBuffer::TempDirectory);
  if (!ForceDirectories(folder)) throw EStreamError("Cannot Create Directory");
  return CreateTempFile(folder, "talvex");
}

}  // namespace

TLXFileBuffer::TLXFileBuffer() = default;

TLXFileBuffer::~TLXFileBuffer() { CloseFile(); }

int64_t TLXFileBuffer::FileSize() { return stream_ ? stream_->Size() : 0; }

bool TLXFileBuffer::CreateFile(const std::string& name, int64_t size) {
  CloseFile();
  std::string target = name;
  if (target.empty()) {
    target = NewTempFile();
    if (target.empty()) return false;
  }
  try {
    stream_ = std::make_unique<TFileStream>(target, TFileMode::fmCreate);
    fileName_ = target;
    stream_->SetSize(size);
  } catch (const EStreamError&) {
    stream_.reset();
    DeleteFile(target);
    fileName_.clear();
    return false;
  }
  return true;
}

void TLXFileBuffer::SetFileSize(int64_t size) {
  if (stream_) stream_->SetSize(size);
}

uint8_t* TLXFileBuffer::MapBlock(uint8_t access, int64_t size, int64_t offset) {
  if (size < 0 || offset < 0) throw EStreamError("Invalid block of \"" + fileName_ + "\"");
  TBlock block;
  block.offset = offset;
  block.size = size;
  block.access = access;
  block.data = std::make_unique<uint8_t[]>(size_t(std::max<int64_t>(size, 1)));
  if ((access & fbRead) && size > 0) {
    if (!stream_ || stream_->Seek(offset, TSeekOrigin::soBeginning) != offset ||
        stream_->Read(block.data.get(), size) != size)
      throw EStreamError("Cannot read \"" + fileName_ + "\"");
  }
  uint8_t* result = block.data.get();
  blocks_.push_back(std::move(block));
  return result;
}

void TLXFileBuffer::WriteBack(TBlock& block) {
  if (!(block.access & fbWrite) || block.size == 0) return;
  if (!stream_ || stream_->Seek(block.offset, TSeekOrigin::soBeginning) != block.offset ||
      stream_->Write(block.data.get(), block.size) != block.size)
    throw EStreamError("Cannot write \"" + fileName_ + "\"");
}

void TLXFileBuffer::UnmapBlock(uint8_t* block) {
  auto it = std::find_if(blocks_.begin(), blocks_.end(),
                         [block](const TBlock& b) { return b.data.get() == block; });
  if (it == blocks_.end()) return;
  TBlock taken = std::move(*it);
  blocks_.erase(it);
  WriteBack(taken);
}

void TLXFileBuffer::UnmapAll() {
  if (!stream_) return;
  while (!blocks_.empty()) UnmapBlock(blocks_.back().data.get());
}

void TLXFileBuffer::CloseFile() {
  // Blocks still mapped are dropped, not stored: their file goes away with them.
  blocks_.clear();
  stream_.reset();
  if (!fileName_.empty()) DeleteFile(fileName_);
  fileName_.clear();
}

void TLXFileBuffer::Reopen() {
  stream_ = std::make_unique<TFileStream>(fileName_, TFileMode::fmOpenReadWrite);
}

bool TLXFileBuffer::CopyWholeFile(TLXFileBuffer* target) {
  // The copy lands in a fresh file beside the target and replaces it only
  // when complete, so a failed copy leaves the target as it was.
  const std::string staging = CreateSiblingTempFile(target->fileName_);
  if (staging.empty()) return false;
  stream_.reset();
  target->stream_.reset();
  const bool done = CopyFile(fileName_, staging) && RenameFile(staging, target->fileName_);
  if (!done) DeleteFile(staging);
  Reopen();
  target->Reopen();
  return done;
}

void TLXFileBuffer::CopyChunked(TLXFileBuffer* target, int64_t size, int64_t offset) {
  std::vector<uint8_t> buffer(size_t(std::min(size, kCopyChunk)));
  if (stream_->Seek(offset, TSeekOrigin::soBeginning) != offset ||
      target->stream_->Seek(offset, TSeekOrigin::soBeginning) != offset)
    throw EStreamError("Cannot copy \"" + fileName_ + "\"");
  for (int64_t left = size; left > 0;) {
    const int64_t n = std::min(left, kCopyChunk);
    if (stream_->Read(buffer.data(), n) != n || target->stream_->Write(buffer.data(), n) != n)
      throw EStreamError("Cannot copy \"" + fileName_ + "\" to \"" + target->fileName_ + "\"");
    left -= n;
  }
}

void TLXFileBuffer::CopyTo(TLXFileBuffer* target, int64_t size, int64_t offset) {
  if (!target || target == this || !IsOpen() || !target->IsOpen() || size <= 0 || offset < 0) return;
  UnmapAll();
  target->UnmapAll();
  if (offset == 0 && size == FileSize() && CopyWholeFile(target)) return;
  CopyChunked(target, size, offset);
}

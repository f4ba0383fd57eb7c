// The load and save skeletons of TTalvexIO, written once over the format table:
// every difference between formats is a field of the format's row.
#include <exception>

#include "image/bitmap.h"
#include "image/mask.h"
#include "io/controller.h"
#include "io/formattable.h"
#include "io/registry.h"
#include "io/safefile.h"
#include "io/streamheader.h"
#include "platform/stream.h"

void IOImportUnavailable(TTalvexIO& io, const std::string&) {
  io.AbortFlag = true;
  io.FinishWork();
}

template <class Body>
void TTalvexIO::RunOperation(bool fileForm, Body&& body) {
  AbortFlag = fileForm;
  if (!PrepareBitmap()) {
    AbortFlag = true;  // nothing to work on is a failure, not a success
    FinishWork();
    return;
  }
  try {
    body();
  } catch (...) {
    AbortFlag = true;
    FinishWork();
    throw;
  }
  FinishWork();
}

namespace {

// Runs a reader; an error inside it is a failed read, reported through AbortFlag.
void RunReader(const TIOFormat& row, TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params,
               TIOProgress& progress, TIOReadCall& call) {
  try {
    row.Read(stream, bitmap, params, progress, call);
  } catch (const std::exception&) {
    progress.Abort();
  }
}

// The writer's call for a row: the alpha channel as a mask, the icon list.
TIOWriteCall WriteCallFor(const TIOFormat& row, TLXBitmap* bitmap, TIOParamsVals& params, TLXMask& mask) {
  TIOWriteCall call;
  if (row.WantsMask && bitmap->HasAlphaChannel()) {
    bitmap->AlphaChannel()->CopyToMask(&mask);
    call.Mask = &mask;
  }
  if (row.IconList) {
    call.IconSizes = params.IconSizes.data();
    call.IconBitCounts = params.IconBitCounts.data();
    call.IconCount = params.IconImageCount();
  }
  return call;
}

// A row a save cannot run: no writer, or an icon with no usable size.
bool CannotWrite(const TIOFormat* row, const TIOParamsVals& params) {
  return !row || !row->Write || (row->IconList && params.IconImageCount() == 0);
}

}  // namespace

// ---------------------------------------------------------------- loads

void TTalvexIO::FinishLoad(const TIOFormat& row, TIOReadCall& call, const std::string* fileName) {
  if (row.AlphaFromMask && call.Mask) bitmap_->AlphaChannel()->CopyFromMask(call.Mask.get());
  ApplyDefaultDpi();
  if (row.AfterRead) row.AfterRead(*params_);
  if (AutoAdjustDPI && row.AutoAdjust) AdjustDPI();
  params_->FileName = fileName ? *fileName : std::string();
  params_->FileType = row.FileType;
  if (view_ && (fileName ? row.ViewDpiFile : row.ViewDpiStream)) view_->LinkSetDPI(params_->DpiX(), params_->DpiY());
  if (call.NewBackground >= 0) SetBackground(call.NewBackground);
  UpdateAttached();
}

int32_t TTalvexIO::LoadCodecFile(const std::string& fileName, int32_t fileType) {
  int32_t count = 0;
  RunOperation(true, [&] {
    const TIOFormat* row = IOFormatRow(fileType);
    params_->ResetInfo();
    TFileStream file(fileName, TFileMode::fmOpenRead);
    // A format without a reader yet: the file opened, AbortFlag stays set.
    if (!row || !row->Read) return;
    AbortFlag = false;
    TIOProgress progress = MakeProgress(true);
    bitmap_->RemoveAlphaChannel();
    TIOReadCall call;
    call.DataSize = file.Size();
    RunReader(*row, file, bitmap_, *params_, progress, call);
    FinishLoad(*row, call, &fileName);
    count = call.Count;
  });
  return count;
}

int32_t TTalvexIO::LoadCodecStream(TStream& stream, int32_t fileType) {
  int32_t count = 0;
  RunOperation(false, [&] {
    const TIOFormat* row = IOFormatRow(fileType);
    if (!row || !row->Read) {
      AbortFlag = true;
      return;
    }
    params_->ResetInfo();
    TIOReadCall call;
    call.DataSize = stream.Size();
    const int64_t start = stream.Position();
    int64_t blockEnd = -1;  // where the stream is left after a headed block

    const TIOStreamHeader& rule = row->StreamHeader;
    if (rule.Tag && (rule.Optional || StreamHeaders)) {
      TIOStreamHeaderData header;
      const bool read = IOReadStreamHeader(stream, header);
      const bool tagged = read && header.Tag == rule.Tag;
      const bool old = read && !tagged && rule.OldTag && header.Tag.rfind(rule.OldTag, 0) == 0;
      if (rule.Optional) {
        if (!tagged) stream.SetPosition(start);
      } else if (!tagged && !old) {
        AbortFlag = true;
        return;
      } else if (old) {
        stream.SetPosition(start + 4);  // the old four-byte header
      } else {
        if (rule.LengthIsDataSize) call.DataSize = header.Length;
        if (rule.LeaveAfterBlock) blockEnd = start + kIOStreamHeaderSize + header.Length;
      }
    }

    TIOProgress progress = MakeProgress(true);
    bitmap_->RemoveAlphaChannel();
    RunReader(*row, stream, bitmap_, *params_, progress, call);
    if (blockEnd >= 0) stream.SetPosition(blockEnd);
    FinishLoad(*row, call, nullptr);
    count = call.Count;
  });
  return count;
}

void TTalvexIO::LoadRowFile(const TIOFormat& row, const std::string& fileName) {
  if (row.Import)
    row.Import(*this, fileName);
  else
    LoadCodecFile(fileName, row.FileType);
}

void TTalvexIO::LoadRegistryFile(const std::string& fileName, int32_t fileType, const std::string& extension) {
  params_->FileName.clear();
  params_->FileType = ioUnknown;
  params_->ResetInfo();
  const TIOFileFormatInfo* entry =
      fileType != ioUnknown ? IOFindFormatByType(fileType) : IOFindFormatByExtension(extension);
  if (!entry || !entry->ReadFunction) {
    AbortFlag = true;
    FinishWork();
    return;
  }
  if (const TIOFormat* row = entry->BuiltIn ? IOFormatRow(entry->FileType) : nullptr) {
    // A registry extension of a built-in format (e.g. TGA's "PIX") goes to that
    // format's own reader: the registry's mark would load nothing and report success.
    LoadRowFile(*row, fileName);
    return;
  }
  AbortFlag = true;
  if (!PrepareBitmap()) return;
  try {
    TFileStream file(fileName, TFileMode::fmOpenRead);
    AbortFlag = false;
    params_->FileName = fileName;
    params_->FileType = entry->FileType;
    TIOProgress progress = MakeProgress(true);
    try {
      entry->ReadFunction(file, bitmap_, *params_, progress, false);
    } catch (...) {
      AbortFlag = true;
    }
    if (!AbortFlag) {
      if (AutoAdjustDPI) AdjustDPI();
      if (view_) view_->LinkSetDPI(params_->DpiX(), params_->DpiY());
    }
    UpdateAttached();
  } catch (...) {
    FinishWork();
    throw;
  }
  FinishWork();
}

void TTalvexIO::LoadRegistryStream(TStream& stream, int32_t fileType) {
  params_->ResetInfo();
  params_->FileName.clear();
  params_->FileType = ioUnknown;
  const TIOFileFormatInfo* entry = IOFindFormatByType(fileType);
  const TIOFormat* row = entry && entry->BuiltIn ? IOFormatRow(entry->FileType) : nullptr;
  if (!entry || !entry->ReadFunction || (entry->BuiltIn && (!row || !row->Read))) {
    AbortFlag = true;
    FinishWork();
    return;
  }
  if (row) {
    LoadCodecStream(stream, row->FileType);
    return;
  }
  RunOperation(false, [&] {
    TIOProgress progress = MakeProgress(true);
    params_->FileType = fileType;
    try {
      entry->ReadFunction(stream, bitmap_, *params_, progress, false);
    } catch (...) {
      AbortFlag = true;
    }
    if (AutoAdjustDPI) AdjustDPI();
    if (view_) view_->LinkSetDPI(params_->DpiX(), params_->DpiY());
    UpdateAttached();
  });
}

// ---------------------------------------------------------------- saves

void TTalvexIO::SaveCodecFile(const std::string& fileName, int32_t fileType) {
  RunOperation(true, [&] {
    const TIOFormat* row = IOFormatRow(fileType);
    // No writer, or nothing to write: no file is made.
    if (CannotWrite(row, *params_)) return;
    if (row->RGBOrMono) ConvertForWriter();
    TIOSafeFile file(fileName);
    AbortFlag = false;
    TIOProgress progress = MakeProgress(true);
    TLXMask mask;
    TIOWriteCall call = WriteCallFor(*row, bitmap_, *params_, mask);
    if (row->BeforeWrite) row->BeforeWrite(*params_);
    row->Write(file.Stream(), bitmap_, *params_, progress, call);
    if (!AbortFlag) file.Commit();
  });
}

void TTalvexIO::SaveCodecStream(TStream& stream, int32_t fileType) {
  RunOperation(false, [&] {
    const TIOFormat* row = IOFormatRow(fileType);
    if (CannotWrite(row, *params_)) {
      AbortFlag = true;
      return;
    }
    if (row->RGBOrMono) ConvertForWriter();
    TIOProgress progress = MakeProgress(true);
    const char* tag = StreamHeaders ? row->StreamHeader.Tag : nullptr;
    const int64_t start = stream.Position();
    uint8_t header[kIOStreamHeaderSize] = {};
    if (tag) SafeStreamWrite(stream, progress, header, kIOStreamHeaderSize);
    TLXMask mask;
    TIOWriteCall call = WriteCallFor(*row, bitmap_, *params_, mask);
    if (row->BeforeWrite) row->BeforeWrite(*params_);
    if (!AbortFlag) row->Write(stream, bitmap_, *params_, progress, call);
    if (tag && (!row->StreamHeader.WriteOnlyOnSuccess || !AbortFlag)) {
      const int64_t end = stream.Position();
      IOFillStreamHeader(header, tag, end - start - kIOStreamHeaderSize);
      stream.SetPosition(start);
      SafeStreamWrite(stream, progress, header, kIOStreamHeaderSize);
      stream.SetPosition(end);
    }
  });
}

void TTalvexIO::SaveRegistryFile(const std::string& fileName, const std::string& extension) {
  const TIOFileFormatInfo* entry = IOFindFormatByExtension(extension);
  if (!entry || !entry->WriteFunction) {
    AbortFlag = true;
    return;
  }
  if (entry->BuiltIn) {
    // As for loads: the registry's mark would write an empty file and report success.
    SaveCodecFile(fileName, entry->FileType);
    return;
  }
  RunOperation(true, [&] {
    ConvertForWriter();
    TIOSafeFile file(fileName);
    AbortFlag = false;
    params_->FileName = fileName;
    params_->FileType = entry->FileType;
    TIOProgress progress = MakeProgress(true);
    entry->WriteFunction(file.Stream(), bitmap_, *params_, progress);
    if (!AbortFlag) file.Commit();
  });
}

void TTalvexIO::SaveRegistryStream(TStream& stream, int32_t fileType) {
  const TIOFileFormatInfo* entry = IOFindFormatByType(fileType);
  if (!entry || !entry->WriteFunction || entry->BuiltIn) {
    AbortFlag = true;
    return;
  }
  RunOperation(false, [&] {
    ConvertForWriter();
    params_->FileType = entry->FileType;
    TIOProgress progress = MakeProgress(true);
    entry->WriteFunction(stream, bitmap_, *params_, progress);
  });
}

// ---------------------------------------------------------------- parameters-only reads

bool TTalvexIO::ReadParamsWith(TStream& stream, int32_t fileType) {
  TIOProgress progress = MakeProgress(false);
  if (const TIOFormat* row = IOFormatRow(fileType); row && row->Read) {
    TIOReadCall call;
    call.ParamsOnly = true;
    call.DataSize = stream.Size();
    row->Read(stream, bitmap_, *params_, progress, call);
    if (row->AfterRead) row->AfterRead(*params_);
    return true;
  }
  const TIOFileFormatInfo* entry = IOFindFormatByType(fileType);
  if (entry && !entry->BuiltIn && entry->ReadFunction) {
    entry->ReadFunction(stream, bitmap_, *params_, progress, true);
    return true;
  }
  return false;
}

void TTalvexIO::ReadParamsStreamAs(TStream& stream, int32_t fileType) {
  params_->FileType = fileType;
  params_->ResetInfo();
  AbortFlag = false;
  try {
    if (!ReadParamsWith(stream, fileType)) AbortFlag = true;
  } catch (...) {
    AbortFlag = true;
  }
  if (AbortFlag) params_->FileType = ioUnknown;
  FinishWork();
}

void TTalvexIO::ReadParamsFileAs(const std::string& fileName, int32_t fileType) {
  params_->FileType = fileType;
  params_->ResetInfo();
  AbortFlag = true;
  try {
    TFileStream file(fileName, TFileMode::fmOpenRead);
    AbortFlag = false;
    if (!ReadParamsWith(file, fileType)) AbortFlag = true;
  } catch (...) {
    AbortFlag = true;
  }
  if (AbortFlag) params_->FileType = ioUnknown;
  params_->FileName = fileName;
  FinishWork();
}

#include "io/controller.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "image/bitmap.h"
#include "image/mask.h"
#include "io/formattable.h"
#include "io/registry.h"
#include "platform/bitmap.h"
#include "platform/stream.h"
#include "tests/support/corpus.h"
#include "tests/support/streams.h"

namespace fs = std::filesystem;

namespace {

// A tiny stand-in format: "FK", width, height. The fake reader and writer record
// how the controller called them.
enum class TWriteMode { ok, abortMidway, fail };

struct TCalls {
  int32_t readCode = 0;
  int reads = 0;
  bool paramsOnly = false;
  int64_t dataSize = -1;
  int64_t readStart = -1;
  const std::atomic<bool>* abort = nullptr;
  bool hadCallback = false;
  int32_t dpiFromFile = 0;  // what the reader stores as resolution
  bool giveMask = false;

  int32_t writeCode = 0;
  int writes = 0;
  TWriteMode writeMode = TWriteMode::ok;
  TLXPixelFormat writtenFormat = lxNone;
  bool gotMask = false;
  std::vector<TIconSize> iconSizes;
  std::vector<int32_t> iconBits;
};
TCalls calls;

template <int Code>
void FakeRead(TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& progress, TIOReadCall& call) {
  calls.readCode = Code;
  ++calls.reads;
  calls.paramsOnly = call.ParamsOnly;
  calls.dataSize = call.DataSize;
  calls.readStart = s.Position();
  calls.abort = progress.abort;
  calls.hadCallback = progress.callback != nullptr;
  uint8_t h[4] = {};
  if (s.Read(h, 4) != 4 || h[0] != 'F' || h[1] != 'K') {
    progress.Abort();
    return;
  }
  p.Width = h[2];
  p.Height = h[3];
  p.SetDpiX(calls.dpiFromFile);
  p.SetDpiY(calls.dpiFromFile);
  if (call.ParamsOnly) return;
  b->Allocate(h[2], h[3], lx24RGB);
  if (calls.giveMask) {
    call.Mask = std::make_unique<TLXMask>();
    call.Mask->Allocate(h[2], h[3], 8);
    call.Mask->Fill(128);
  }
  progress.step = 50;
  progress.Report(1);
}

template <int Code>
void FakeWrite(TStream& s, TLXBitmap* b, TIOParamsVals&, TIOProgress& progress, TIOWriteCall& call) {
  calls.writeCode = Code;
  ++calls.writes;
  calls.writtenFormat = b->PixelFormat();
  calls.gotMask = call.Mask != nullptr && call.Mask->Width() == b->Width();
  calls.iconSizes.assign(call.IconSizes, call.IconSizes + call.IconCount);
  calls.iconBits.assign(call.IconBitCounts, call.IconBitCounts + call.IconCount);
  const uint8_t h[4] = {'F', 'K', uint8_t(b->Width()), uint8_t(b->Height())};
  switch (calls.writeMode) {
    case TWriteMode::ok: SafeStreamWrite(s, progress, h, 4); break;
    case TWriteMode::abortMidway:
      SafeStreamWrite(s, progress, h, 2);
      progress.Abort();
      break;
    case TWriteMode::fail:
      SafeStreamWrite(s, progress, h, 3);
      throw std::runtime_error("writer failed");
  }
}

bool StartsWithFKMagic(TStream& s, const char* magic) {
  char b[4] = {};
  return s.Read(b, 4) == 4 && std::memcmp(b, magic, 4) == 0;
}

// The format's own row with the fake reader and writer as entry points, and
// test (or none) as its content test; its rules and signatures stay.
template <int Code>
TIOFormat Fake(TIOFormatTest test = nullptr) {
  TIOFormat row = *IOFormatRow(Code);
  row.Read = FakeRead<Code>;
  row.Write = FakeWrite<Code>;
  row.Content.Test = test;
  return row;
}

void InstallFakes() {
  IOSetFormatRow(Fake<ioTIFF>());
  IOSetFormatRow(Fake<ioGIF>());
  IOSetFormatRow(Fake<ioJPEG>());
  IOSetFormatRow(Fake<ioPCX>());
  IOSetFormatRow(Fake<ioBMP>());
  IOSetFormatRow(Fake<ioICO>([](TStream& s) { return StartsWithFKMagic(s, "\0\0\1\0"); }));
  IOSetFormatRow(Fake<ioCUR>([](TStream& s) { return StartsWithFKMagic(s, "\0\0\2\0"); }));
  IOSetFormatRow(Fake<ioPNG>([](TStream& s) { return StartsWithFKMagic(s, "\x89PNG"); }));
  IOSetFormatRow(Fake<ioTGA>());
  IOSetFormatRow(Fake<ioPXM>());
  IOSetFormatRow(Fake<ioWBMP>());
  IOSetFormatRow(Fake<ioJP2>());
  IOSetFormatRow(Fake<ioJ2K>());
  IOSetFormatRow(Fake<ioPS>());
  IOSetFormatRow(Fake<ioPDF>());
}

std::vector<uint8_t> FK(uint8_t w = 3, uint8_t h = 2) { return {'F', 'K', w, h}; }

void WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string ReadFile(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> v;
  for (const auto& p : parts) v.insert(v.end(), p.begin(), p.end());
  return v;
}

std::vector<uint8_t> Header(const char* tag, uint32_t length) {
  std::vector<uint8_t> h(12, 0);
  std::memcpy(h.data(), tag, std::min<size_t>(4, std::strlen(tag)));
  for (int i = 0; i < 4; ++i) h[size_t(8 + i)] = uint8_t(length >> (8 * i));
  return h;
}

struct TEvents {
  std::vector<int> percents;
  int finished = 0;
  void* sender = nullptr;
};

class IOController : public ::testing::Test {
protected:
  void SetUp() override {
    calls = TCalls{};
    InstallFakes();
    dir_ = ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    io_.OnProgress = {[](void* ctx, void* sender, int percent) {
                        auto* e = static_cast<TEvents*>(ctx);
                        e->percents.push_back(percent);
                        e->sender = sender;
                      },
                      &events_};
    io_.OnFinishWork = {[](void* ctx, void*) { ++static_cast<TEvents*>(ctx)->finished; }, &events_};
  }
  void TearDown() override {
    IOResetFormatRows();
    IOResetRegistry();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) { return dir_ + "/" + name; }
  // Files in the scratch folder other than the ones the test made.
  std::vector<std::string> Listing() {
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(dir_)) v.push_back(e.path().filename().string());
    std::sort(v.begin(), v.end());
    return v;
  }

  std::string dir_;
  TEvents events_;
  TTalvexIO io_;
};

// ---------------------------------------------------------------- loads by extension

TEST_F(IOController, LoadFileDispatchesByLowerCasedExtension) {
  struct Case {
    const char* name;
    int32_t code;
  };
  const Case cases[] = {{"a.JPG", ioJPEG}, {"a.jpeg", ioJPEG}, {"a.Jpe", ioJPEG}, {"b.BMP", ioBMP},
                        {"b.rle", ioBMP},  {"c.ico", ioICO},   {"c.CUR", ioCUR},  {"d.png", ioPNG},
                        {"e.tiff", ioTIFF}, {"e.G3N", ioTIFF}, {"f.pcx", ioPCX},  {"g.gif", ioGIF},
                        {"h.win", ioTGA},  {"i.pbm", ioPXM},   {"j.wbmp", ioWBMP}, {"k.j2c", ioJ2K},
                        {"k.jp2", ioJP2},  {"dir.x/l.bmp", ioBMP}};
  fs::create_directories(Path("dir.x"));
  for (const auto& c : cases) {
    calls.readCode = 0;
    const std::string name = Path(c.name);
    WriteFile(name, FK());
    io_.LoadFile(name);
    EXPECT_EQ(calls.readCode, c.code) << c.name;
    EXPECT_FALSE(io_.AbortFlag) << c.name;
    EXPECT_EQ(io_.Params().FileType, c.code) << c.name;
    EXPECT_EQ(io_.Params().FileName, name) << c.name;
    EXPECT_EQ(io_.Bitmap()->Width(), 3) << c.name;
  }
  EXPECT_EQ(events_.finished, int(std::size(cases)));
}

TEST_F(IOController, UnknownExtensionFailsAndClearsTheName) {
  const std::string name = Path("picture.xyz");
  WriteFile(name, FK());
  io_.Params().FileName = "before.bmp";
  io_.Params().FileType = ioBMP;
  for (const std::string& n : {name, Path("noextension"), Path("dot.d/file")}) {
    io_.AbortFlag = false;
    io_.LoadFile(n);
    EXPECT_TRUE(io_.AbortFlag) << n;
    EXPECT_EQ(io_.Params().FileType, 0) << n;
    EXPECT_EQ(io_.Params().FileName, "") << n;
  }
  EXPECT_EQ(calls.reads, 0);
  EXPECT_EQ(events_.finished, 3);
}

TEST_F(IOController, RegistryExtensionOfABuiltInFormatUsesItsReader) {
  // "PIX" is listed under TGA only in the registry, not in the dispatch table.
  const std::string name = Path("shot.PIX");
  WriteFile(name, FK());
  io_.LoadFile(name);
  EXPECT_EQ(calls.readCode, ioTGA);
  EXPECT_FALSE(io_.AbortFlag);
  EXPECT_EQ(io_.Params().FileType, ioTGA);
}

namespace extra {
int reads = 0, writes = 0;
bool throwOnRead = false;
void Read(TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress&, bool paramsOnly) {
  ++reads;
  if (throwOnRead) throw std::runtime_error("plug-in failed");
  p.Width = 7;
  if (!paramsOnly) b->Allocate(7, 1, lx8g);
  s.Seek(0, TSeekOrigin::soEnd);
}
void Write(TStream& s, TLXBitmap*, TIOParamsVals&, TIOProgress& pr) {
  ++writes;
  SafeStreamWrite(s, pr, "XTR", 3);
}
bool Test(TStream& s) {
  char b[3] = {};
  return s.Read(b, 3) == 3 && std::memcmp(b, "XTR", 3) == 0;
}
TIOFileFormatInfo Info() {
  TIOFileFormatInfo f;
  f.FileType = 100;
  f.DisplayName = "Extra";
  f.Extensions = "XTR;XTRA";
  f.ReadFunction = Read;
  f.WriteFunction = Write;
  f.TryStream = Test;
  return f;
}
}  // namespace extra

TEST_F(IOController, RegistryFallbackRunsARegisteredReaderAndWriter) {
  extra::reads = extra::writes = 0;
  extra::throwOnRead = false;
  IORegisterFormat(extra::Info());
  const std::string name = Path("a.XTRA");
  WriteFile(name, {'X', 'T', 'R', 0});
  io_.LoadFile(name);
  EXPECT_EQ(extra::reads, 1);
  EXPECT_FALSE(io_.AbortFlag);
  EXPECT_EQ(io_.Params().FileType, 100);
  EXPECT_EQ(io_.Params().FileName, name);
  EXPECT_EQ(io_.Bitmap()->Width(), 7);

  // An error inside a plug-in reader is caught and reported through the flag.
  extra::throwOnRead = true;
  io_.LoadFile(name);
  EXPECT_TRUE(io_.AbortFlag);

  const std::string out = Path("b.xtr");
  io_.SaveFile(out);
  EXPECT_EQ(extra::writes, 1);
  EXPECT_FALSE(io_.AbortFlag);
  EXPECT_EQ(ReadFile(out), "XTR");
  EXPECT_EQ(io_.Params().FileName, out);

  // Its content test comes first in stream detection.
  TMemoryStream ms({'X', 'T', 'R', 'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(io_.DetectStreamFormat(ms), 100);
  EXPECT_EQ(events_.finished, 3);
}

TEST_F(IOController, MissingFileRaisesAfterFinishWork) {
  EXPECT_THROW(io_.LoadFile(Path("missing.bmp")), EStreamError);
  EXPECT_TRUE(io_.AbortFlag);
  EXPECT_EQ(events_.finished, 1);
  EXPECT_THROW(io_.SaveFile(Path("no/such/folder/out.bmp")), EStreamError);
  EXPECT_TRUE(io_.AbortFlag);
  EXPECT_EQ(events_.finished, 2);
}

TEST_F(IOController, EmptyNamesAndAddresses) {
  io_.LoadFile("");
  EXPECT_TRUE(io_.AbortFlag);
  EXPECT_EQ(events_.finished, 1);
  io_.AbortFlag = false;
  io_.SaveFile("");
  EXPECT_FALSE(io_.AbortFlag);
  EXPECT_EQ(events_.finished, 1);
  // An address goes to the address loader, whatever its extension says.
  io_.LoadFile("HTTP://example.invalid/picture.bmp");
  EXPECT_EQ(calls.reads, 0);
  EXPECT_TRUE(io_.AbortFlag);
  EXPECT_EQ(events_.finished, 2);
}

TEST_F(IOController, FormatWithoutCodecFailsCleanly) {
  TIOFormat bmp = *IOFormatRow(ioBMP);
  bmp.Read = nullptr;
  bmp.Write = nullptr;
  IOSetFormatRow(bmp);
  const std::string name = Path("a.bmp");
  WriteFile(name, FK());
  io_.LoadFile(name);
  EXPECT_TRUE(io_.AbortFlag);
  io_.SaveFile(Path("b.bmp"));
  EXPECT_TRUE(io_.AbortFlag);
  EXPECT_FALSE(fs::exists(Path("b.bmp")));
  EXPECT_EQ(events_.finished, 2);
}

// ---------------------------------------------------------------- load skeleton details

TEST_F(IOController, LoadGivesTheDefaultResolutionAndTheProgressRecord) {
  const std::string name = Path("a.bmp");
  WriteFile(name, FK());
  calls.dpiFromFile = 1;
  io_.LoadFile(name);
  EXPECT_EQ(io_.Params().DpiX(), 300);
  EXPECT_EQ(io_.Params().DpiY(), 300);
  EXPECT_DOUBLE_EQ(io_.Params().EXIFYResolution(), 300.0);
  EXPECT_EQ(calls.abort, &io_.AbortFlag);
  EXPECT_TRUE(calls.hadCallback);
  EXPECT_EQ(calls.dataSize, 4);
  // The reader's 50 %, then FinishWork's 100, from this controller.
  EXPECT_EQ(events_.percents, (std::vector<int>{50, 100}));
  EXPECT_EQ(events_.sender, &io_);

  calls.dpiFromFile = 2;
  io_.LoadFile(name);
  EXPECT_EQ(io_.Params().DpiX(), 2);
}

TEST_F(IOController, MaskBecomesAlphaOnlyForFormatsWithTransparency) {
  calls.giveMask = true;
  WriteFile(Path("a.ico"), FK());
  WriteFile(Path("a.bmp"), FK());
  io_.LoadFile(Path("a.ico"));
  ASSERT_TRUE(io_.Bitmap()->HasAlphaChannel());
  EXPECT_EQ(io_.Bitmap()->AlphaChannel()->Scanline(0)[0], 128);
  io_.LoadFile(Path("a.bmp"));
  EXPECT_FALSE(io_.Bitmap()->HasAlphaChannel());
}

TEST_F(IOController, LoadsResetOnlyTheDescriptiveFields) {
  WriteFile(Path("a.png"), FK());
  io_.Params().TIFFDocumentName = "doc";
  io_.Params().JPEGQuality = 33;
  io_.LoadFile(Path("a.png"));
  EXPECT_EQ(io_.Params().TIFFDocumentName, "");
  EXPECT_EQ(io_.Params().JPEGQuality, 33);
}

TEST_F(IOController, BadDataSetsAbortFlagButTheLoadCompletes) {
  WriteFile(Path("bad.png"), {'N', 'O', 'P', 'E'});
  io_.LoadFile(Path("bad.png"));
  EXPECT_TRUE(io_.AbortFlag);
  EXPECT_EQ(io_.Params().FileType, ioPNG);
  EXPECT_EQ(events_.finished, 1);
}

// ---------------------------------------------------------------- detection

TEST_F(IOController, DetectStreamFormatBySignature) {
  auto pad = [](std::vector<uint8_t> v, size_t size) {
    v.resize(size, 0x55);
    return v;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    int32_t code;
  };
  const Case cases[] = {
      {"JFIF header", pad(Header("JFIF", 5), 13), ioJPEG},
      {"JFIF header, 12 bytes", pad(Header("JFIF", 0), 12), ioUnknown},
      {"GIF", pad({'G', 'I', 'F', '8', '9', 'a'}, 14), ioGIF},
      {"GIF, 13 bytes", pad({'G', 'I', 'F', '8', '9', 'a'}, 13), ioUnknown},
      {"PCX2 header", pad(Header("PCX2", 1), 13), ioPCX},
      {"old PCX header", pad({'P', 'C', 'X', 0}, 5), ioPCX},
      {"BM", pad({'B', 'M'}, 15), ioBMP},
      {"BM, 14 bytes", pad({'B', 'M'}, 14), ioUnknown},
      {"PCX file", pad({10, 5}, 129), ioPCX},
      {"PCX file, version 6", pad({10, 6}, 129), ioUnknown},
      {"TIFF header", pad(Header("TIFF", 1), 13), ioTIFF},
      {"TIFF tag, filler ignored", pad({'T', 'I', 'F', 'F', 0, 9, 9, 9, 1, 0, 0, 0}, 13), ioTIFF},
      {"TIFF little-endian", pad({'I', 'I', 42, 0}, 9), ioTIFF},
      {"TIFF big-endian", pad({'M', 'M', 0, 42}, 9), ioTIFF},
      {"PNG", pad({0x89, 'P', 'N', 'G'}, 9), ioPNG},
      {"PNG, 8 bytes", pad({0x89, 'P', 'N', 'G'}, 8), ioUnknown},
      {"icon", pad({0, 0, 1, 0}, 6), ioICO},
      {"cursor", pad({0, 0, 2, 0}, 6), ioCUR},
      {"AVI", pad({'R', 'I', 'F', 'F', 1, 2, 3, 4, 'A', 'V', 'I', ' '}, 20), ioAVI},
      {"nothing", pad({1, 2, 3}, 200), ioUnknown},
      {"empty", {}, ioUnknown},
  };
  for (const auto& c : cases) {
    TMemoryStream ms(c.bytes);
    EXPECT_EQ(io_.DetectStreamFormat(ms), c.code) << c.what;
    EXPECT_EQ(ms.Position(), 0) << c.what;
  }
}

TEST_F(IOController, DetectionReadsFromThePositionAndRestoresIt) {
  std::vector<uint8_t> bytes = Concat({{9, 9, 9}, {'B', 'M'}, std::vector<uint8_t>(20, 0)});
  TMemoryStream ms(bytes);
  ms.SetPosition(3);
  EXPECT_EQ(io_.DetectStreamFormat(ms), ioBMP);
  EXPECT_EQ(ms.Position(), 3);
}

TEST_F(IOController, DetectFileFormatChecksTheExtension) {
  const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0, 0, 0, 0, 0, 0};
  const std::vector<uint8_t> icon = {0, 0, 1, 0, 1, 0};
  WriteFile(Path("a.gif"), png);
  WriteFile(Path("a.png"), png);
  WriteFile(Path("a.cur"), icon);
  WriteFile(Path("a.xyz"), icon);
  EXPECT_EQ(io_.DetectFileFormat(Path("a.gif"), false), ioPNG);
  EXPECT_EQ(io_.DetectFileFormat(Path("a.gif"), true), ioUnknown);
  EXPECT_EQ(io_.DetectFileFormat(Path("a.png"), true), ioPNG);
  EXPECT_EQ(io_.DetectFileFormat(Path("a.cur"), true), ioCUR);
  EXPECT_EQ(io_.DetectFileFormat(Path("a.cur"), false), ioICO);
  EXPECT_EQ(io_.DetectFileFormat(Path("a.xyz"), true), ioUnknown);
  EXPECT_EQ(io_.DetectFileFormat(Path("missing.png"), false), ioUnknown);
}

// ---------------------------------------------------------------- stream loads and headers

TEST_F(IOController, LoadStreamDispatchesByContent) {
  TMemoryStream ms(Concat({{'B', 'M'}, std::vector<uint8_t>(20, 0)}));
  io_.Params().FileName = "x";
  io_.LoadStream(ms);
  EXPECT_EQ(calls.readCode, ioBMP);
  EXPECT_EQ(io_.Params().FileName, "");
  EXPECT_EQ(io_.Params().FileType, ioBMP);

  TMemoryStream unknown(std::vector<uint8_t>(30, 7));
  io_.LoadStream(unknown);
  EXPECT_TRUE(io_.AbortFlag);
  EXPECT_EQ(io_.Params().FileType, 0);
}

TEST_F(IOController, TIFFStreamHeaderIsDetectedAndTheStreamLeftAfterTheBlock) {
  // Header, a 10-byte block (the reader uses 4 of it), then other data.
  std::vector<uint8_t> bytes = Concat({Header("TIFF", 10), FK(5, 4), std::vector<uint8_t>(6, 0), {1, 2, 3}});
  TMemoryStream ms(bytes);
  io_.StreamHeaders = true;
  io_.LoadStream(ms);
  EXPECT_EQ(calls.readCode, ioTIFF);
  EXPECT_EQ(calls.readStart, 12);
  EXPECT_FALSE(io_.AbortFlag);
  EXPECT_EQ(io_.Bitmap()->Width(), 5);
  EXPECT_EQ(ms.Position(), 22);

  // With headers expected, a bare TIFF stream is refused.
  TMemoryStream bare(Concat({{'I', 'I', 42, 0}, FK()}));
  calls.reads = 0;
  io_.LoadStreamAs(bare, ioTIFF);
  EXPECT_TRUE(io_.AbortFlag);
  EXPECT_EQ(calls.reads, 0);
}

TEST_F(IOController, PCXStreamHeaders) {
  io_.StreamHeaders = true;
  // "PCX2": the data size is the header's length, and the stream ends after the block.
  TMemoryStream ms(Concat({Header("PCX2", 8), FK(), std::vector<uint8_t>(4, 0), {7, 7}}));
  io_.LoadStreamAs(ms, ioPCX);
  EXPECT_FALSE(io_.AbortFlag);
  EXPECT_EQ(calls.dataSize, 8);
  EXPECT_EQ(calls.readStart, 12);
  EXPECT_EQ(ms.Position(), 20);

  // The old four-byte "PCX" header: the reader starts after it and gets the whole size.
  TMemoryStream old(Concat({{'P', 'C', 'X', 0}, FK(), std::vector<uint8_t>(8, 0)}));
  io_.LoadStreamAs(old, ioPCX);
  EXPECT_FALSE(io_.AbortFlag);
  EXPECT_EQ(calls.readStart, 4);
  EXPECT_EQ(calls.dataSize, 16);

  TMemoryStream wrong(Concat({Header("TIFF", 4), FK()}));
  calls.reads = 0;
  io_.LoadStreamAs(wrong, ioPCX);
  EXPECT_TRUE(io_.AbortFlag);
  EXPECT_EQ(calls.reads, 0);

  io_.StreamHeaders = false;
  TMemoryStream plain(FK());
  io_.LoadStreamAs(plain, ioPCX);
  EXPECT_FALSE(io_.AbortFlag);
  EXPECT_EQ(calls.readStart, 0);
  EXPECT_EQ(calls.dataSize, 4);
}

TEST_F(IOController, JPEGStreamSkipsAJFIFHeaderWhateverStreamHeadersSays) {
  TMemoryStream headed(Concat({Header("JFIF", 4), FK()}));
  io_.LoadStreamAs(headed, ioJPEG);
  EXPECT_EQ(calls.readStart, 12);
  EXPECT_FALSE(io_.AbortFlag);
  TMemoryStream bare(Concat({FK(), std::vector<uint8_t>(12, 0)}));
  io_.StreamHeaders = true;
  io_.LoadStreamAs(bare, ioJPEG);
  EXPECT_EQ(calls.readStart, 0);
  EXPECT_FALSE(io_.AbortFlag);
}

TEST_F(IOController, StreamSavesWriteTheHeaderWithTheMeasuredLength) {
  io_.Bitmap()->Allocate(3, 2, lx24RGB);
  io_.StreamHeaders = true;
  for (int32_t code : {ioTIFF, ioJPEG, ioPCX}) {
    TMemoryStream ms;
    ms.Write("ab", 2);
    io_.SaveStream(ms, code);
    EXPECT_FALSE(io_.AbortFlag);
    const auto& d = ms.Data();
    ASSERT_EQ(d.size(), 2u + 12u + 4u) << code;
    const char* tag = code == ioTIFF ? "TIFF" : code == ioJPEG ? "JFIF" : "PCX2";
    EXPECT_EQ(std::memcmp(d.data() + 2, tag, 4), 0) << code;
    EXPECT_EQ(d[6] | d[7] | d[8] | d[9], 0) << code;
    EXPECT_EQ(d[10], 4) << code;
    EXPECT_EQ(d[11] | d[12] | d[13], 0) << code;
    EXPECT_EQ(ms.Position(), 18) << code;
  }
  // PCX leaves the header blank when the writer failed; TIFF fills it anyway.
  calls.writeMode = TWriteMode::abortMidway;
  TMemoryStream pcx, tif;
  io_.SaveStream(pcx, ioPCX);
  EXPECT_TRUE(io_.AbortFlag);
  EXPECT_EQ(pcx.Data()[0], 0);
  io_.SaveStream(tif, ioTIFF);
  EXPECT_EQ(tif.Data()[0], 'T');
  // No header for other formats or without StreamHeaders.
  calls.writeMode = TWriteMode::ok;
  TMemoryStream bmp;
  io_.SaveStream(bmp, ioBMP);
  EXPECT_EQ(bmp.Data().size(), 4u);
}

// ---------------------------------------------------------------- saves

TEST_F(IOController, FailedSaveKeepsTheExistingFileAndLeavesNothingBehind) {
  io_.Bitmap()->Allocate(3, 2, lx24RGB);
  const std::string name = Path("out.bmp");
  WriteFile(name, {'O', 'L', 'D'});
  fs::permissions(name, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  calls.writeMode = TWriteMode::abortMidway;
  io_.SaveFile(name);
  EXPECT_TRUE(io_.AbortFlag);
  EXPECT_EQ(ReadFile(name), "OLD");
  EXPECT_EQ(Listing(), std::vector<std::string>{"out.bmp"});

  calls.writeMode = TWriteMode::fail;
  EXPECT_THROW(io_.SaveFile(name), std::runtime_error);
  EXPECT_TRUE(io_.AbortFlag);
  EXPECT_EQ(ReadFile(name), "OLD");
  EXPECT_EQ(Listing(), std::vector<std::string>{"out.bmp"});
  EXPECT_EQ(events_.finished, 2);

  // A failed first save leaves no file at all.
  EXPECT_THROW(io_.SaveFile(Path("new.png")), std::runtime_error);
  EXPECT_FALSE(fs::exists(Path("new.png")));

  calls.writeMode = TWriteMode::ok;
  io_.SaveFile(name);
  EXPECT_FALSE(io_.AbortFlag);
  EXPECT_EQ(ReadFile(name), std::string("FK\3\2", 4));
  EXPECT_EQ(Listing(), std::vector<std::string>{"out.bmp"});
  // The replacement keeps the permissions of the file it replaced.
  EXPECT_EQ(fs::status(name).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(IOController, SaveThroughASymbolicLinkReplacesTheFileItNames) {
  io_.Bitmap()->Allocate(3, 2, lx24RGB);
  WriteFile(Path("real.bmp"), {'O', 'L', 'D'});
  fs::create_symlink("real.bmp", Path("link.bmp"));
  io_.SaveFile(Path("link.bmp"));
  EXPECT_FALSE(io_.AbortFlag);
  EXPECT_TRUE(fs::is_symlink(Path("link.bmp")));
  EXPECT_EQ(ReadFile(Path("real.bmp")).size(), 4u);
}

TEST_F(IOController, ShortWriteSetsAbortFlag) {
  io_.Bitmap()->Allocate(3, 2, lx24RGB);
  TShortStream full(2);
  io_.SaveStream(full, ioBMP);
  EXPECT_TRUE(io_.AbortFlag);
  TShortStream roomy(100);
  io_.SaveStream(roomy, ioBMP);
  EXPECT_FALSE(io_.AbortFlag);
}

TEST_F(IOController, SaveIconFilePassesTheUsableIconEntries) {
  io_.Bitmap()->Allocate(3, 2, lx24RGB);
  io_.SaveFile(Path("a.ico"));
  EXPECT_FALSE(io_.AbortFlag);
  EXPECT_EQ(calls.writeCode, ioICO);
  EXPECT_EQ(calls.iconSizes, (std::vector<TIconSize>{{64, 64}}));
  EXPECT_EQ(calls.iconBits, (std::vector<int32_t>{8}));

  io_.Params().IconSizes[1] = {32, 32};
  io_.Params().IconBitCounts[1] = 32;
  io_.Params().IconSizes[3] = {16, 16};
  io_.SaveIconFile(Path("b.ico"));
  EXPECT_EQ(calls.iconSizes.size(), 2u);
  EXPECT_EQ(calls.iconBits, (std::vector<int32_t>{8, 32}));

  // No usable size: fails before any file is made.
  calls.writes = 0;
  io_.Params().IconSizes[0] = {0, 0};
  io_.SaveFile(Path("c.ico"));
  EXPECT_TRUE(io_.AbortFlag);
  EXPECT_EQ(calls.writes, 0);
  EXPECT_FALSE(fs::exists(Path("c.ico")));
}

TEST_F(IOController, SavesDoNotChangeTheFileNameOrType) {
  io_.Bitmap()->Allocate(3, 2, lx24RGB);
  io_.Params().FileName = "in.png";
  io_.Params().FileType = ioPNG;
  io_.SaveFile(Path("out.JPG"));
  EXPECT_EQ(calls.writeCode, ioJPEG);
  EXPECT_EQ(io_.Params().FileName, "in.png");
  EXPECT_EQ(io_.Params().FileType, ioPNG);
}

TEST_F(IOController, WritersOfColourOrMonoGetAConvertedBitmap) {
  io_.Bitmap()->Allocate(3, 2, lx16g);
  io_.SaveFile(Path("a.bmp"));
  EXPECT_EQ(calls.writtenFormat, lx16g);
  io_.SaveFile(Path("a.tga"));
  EXPECT_EQ(calls.writtenFormat, lx24RGB);
  EXPECT_EQ(io_.Bitmap()->PixelFormat(), lx24RGB);  // the caller's image changes

  io_.Bitmap()->Allocate(3, 2, lx1g);
  io_.SaveFile(Path("a.jpg"));
  EXPECT_EQ(calls.writtenFormat, lx1g);
}

TEST_F(IOController, AlphaGoesToTGAAndPNGWritersAsAMask) {
  io_.Bitmap()->Allocate(3, 2, lx24RGB);
  io_.Bitmap()->AlphaChannel();  // creates an opaque channel
  io_.SaveFile(Path("a.png"));
  EXPECT_TRUE(calls.gotMask);
  io_.SaveFile(Path("a.bmp"));
  EXPECT_FALSE(calls.gotMask);
}

// ---------------------------------------------------------------- parameters-only reads

TEST_F(IOController, ReadParamsFile) {
  WriteFile(Path("a.png"), Concat({{0x89, 'P', 'N', 'G'}, std::vector<uint8_t>(8, 0)}));
  io_.ReadParamsFile(Path("missing.png"));
  EXPECT_EQ(io_.Params().FileType, 0);
  EXPECT_EQ(io_.Params().FileName, Path("missing.png"));
  EXPECT_EQ(events_.finished, 1);

  // Detected as PNG; the fake reader finds no "FK" and fails.
  io_.ReadParamsFile(Path("a.png"));
  EXPECT_TRUE(calls.paramsOnly);
  EXPECT_FALSE(calls.hadCallback);
  EXPECT_EQ(calls.abort, &io_.AbortFlag);
  EXPECT_EQ(io_.Params().FileType, 0);

  WriteFile(Path("b.bmp"), FK(9, 8));
  io_.ReadParamsFileAs(Path("b.bmp"), ioBMP);
  EXPECT_FALSE(io_.AbortFlag);
  EXPECT_EQ(io_.Params().FileType, ioBMP);
  EXPECT_EQ(io_.Params().Width, 9);
  EXPECT_EQ(io_.Bitmap()->Width(), 0);  // the image is not touched

  // The resolution a parameters-only read finds is not defaulted.
  calls.dpiFromFile = 1;
  TMemoryStream ms(FK());
  io_.ReadParamsStreamAs(ms, ioJPEG);
  EXPECT_EQ(io_.Params().DpiX(), 1);
}

// ---------------------------------------------------------------- targets and views

TEST_F(IOController, CallersBitmapIsTheTarget) {
  TLXBitmap mine;
  io_.AttachBitmap(&mine);
  EXPECT_FALSE(io_.OwnsBitmap());
  WriteFile(Path("a.bmp"), FK(6, 1));
  io_.LoadFile(Path("a.bmp"));
  EXPECT_EQ(mine.Width(), 6);

  // Without a target: LoadFile does nothing, other operations finish with the flag set.
  io_.AttachBitmap(nullptr);
  EXPECT_EQ(io_.Bitmap(), nullptr);
  const int before = events_.finished;
  io_.LoadFile(Path("a.bmp"));
  EXPECT_EQ(events_.finished, before);
  io_.SaveFile(Path("b.bmp"));
  EXPECT_TRUE(io_.AbortFlag);
  EXPECT_EQ(events_.finished, before + 1);
  EXPECT_FALSE(fs::exists(Path("b.bmp")));
  // Stream operations start with the flag clear; without a target they still fail.
  TMemoryStream in(FK()), out;
  io_.LoadStreamAs(in, ioBMP);
  EXPECT_TRUE(io_.AbortFlag);
  io_.AbortFlag = false;
  io_.SaveStream(out, ioBMP);
  EXPECT_TRUE(io_.AbortFlag);
  EXPECT_EQ(events_.finished, before + 3);
}

TEST_F(IOController, AttachedPlatformBitmapIsMirroredBothWays) {
  TBitmap graphic;
  graphic.SetBitsPerPixel(24);
  graphic.SetSize(5, 4);
  io_.AttachTBitmap(&graphic);
  EXPECT_TRUE(io_.OwnsBitmap());
  EXPECT_EQ(io_.Bitmap()->Width(), 5);
  EXPECT_EQ(io_.GetTBitmap(), &graphic);
  // A fresh record takes its size from the platform bitmap.
  io_.Params().SetDefaults();
  EXPECT_EQ(io_.Params().Width, 5);
  EXPECT_EQ(io_.Params().Height, 4);

  calls.giveMask = true;
  WriteFile(Path("a.ico"), FK(3, 2));
  io_.LoadFile(Path("a.ico"));
  EXPECT_EQ(graphic.Width(), 3);
  EXPECT_EQ(graphic.Height(), 2);
  EXPECT_FALSE(io_.Bitmap()->HasAlphaChannel());  // dropped for a platform graphic
}

namespace {
class TFakeView : public TIOViewLink {
public:
  TLXBitmap bitmap;
  TLXBitmap other;
  bool useOther = false;
  int refreshes = 0, posted = 0, changes = 0, dpiX = 0, dpiY = 0;
  TIOViewCallback callback = nullptr;
  void* context = nullptr;
  int unregistered = -2;

  TLXBitmap* LinkBitmap() override { return useOther ? &other : &bitmap; }
  TBitmap* LinkPlatformBitmap() override { return nullptr; }
  int32_t LinkBackground() override { return 0x123456; }
  int32_t LinkDpiX() override { return 72; }
  int32_t LinkDpiY() override { return 96; }
  void LinkSetDPI(int32_t x, int32_t y) override { dpiX = x, dpiY = y; }
  void LinkRefresh() override { ++refreshes; }
  void LinkPostRefresh() override { ++posted; }
  void LinkImageChanged() override { ++changes; }
  int LinkRegister(TIOViewCallback cb, void* ctx) override {
    callback = cb;
    context = ctx;
    return 7;
  }
  void LinkUnregister(int handle) override { unregistered = handle; }
};
}  // namespace

TEST_F(IOController, AttachedViewGetsTheImageAndIsRefreshed) {
  TFakeView view;
  io_.SetBackground(5);
  EXPECT_EQ(io_.Background(), 5);
  io_.SetAttachedView(&view);
  EXPECT_EQ(io_.Bitmap(), &view.bitmap);
  EXPECT_EQ(io_.Background(), 0x123456);
  io_.SetBackground(9);  // no effect with a view attached
  EXPECT_EQ(io_.Background(), 0x123456);

  // A fresh record takes the view's resolution.
  io_.Params().SetDefaults();
  EXPECT_EQ(io_.Params().DpiX(), 72);
  EXPECT_EQ(io_.Params().DpiY(), 96);

  WriteFile(Path("a.bmp"), FK(4, 4));
  calls.dpiFromFile = 150;
  io_.LoadFile(Path("a.bmp"));
  EXPECT_EQ(view.bitmap.Width(), 4);
  EXPECT_EQ(view.dpiX, 150);
  EXPECT_EQ(view.refreshes, 1);
  EXPECT_EQ(view.changes, 1);
  EXPECT_EQ(view.posted, 0);

  // BMP streams do not hand the view their resolution.
  view.dpiX = 0;
  TMemoryStream ms(FK());
  io_.LoadStreamAs(ms, ioBMP);
  EXPECT_EQ(view.dpiX, 0);
  EXPECT_EQ(view.refreshes, 2);

  // The view replaces its bitmap, then goes away.
  view.useOther = true;
  view.callback(view.context, ioveBitmapChanged);
  EXPECT_EQ(io_.Bitmap(), &view.other);
  view.callback(view.context, ioveDestroying);
  EXPECT_EQ(io_.AttachedView(), nullptr);
  EXPECT_TRUE(io_.OwnsBitmap());
  EXPECT_EQ(io_.Background(), 5);
}

TEST_F(IOController, DetachingAViewUnregistersAndGivesAnOwnBitmap) {
  TFakeView view;
  io_.SetAttachedView(&view);
  io_.SetAttachedView(nullptr);
  EXPECT_EQ(view.unregistered, 7);
  EXPECT_TRUE(io_.OwnsBitmap());
  {
    TFakeView second;
    auto io = std::make_unique<TTalvexIO>();
    io->SetAttachedView(&second);
    io.reset();
    EXPECT_EQ(second.unregistered, 7);
  }
}

TEST_F(IOController, NativePixelFormatMirrorsIntoTheRecord) {
  io_.SetNativePixelFormat(true);
  EXPECT_TRUE(io_.Params().NativePixelFormat);
  io_.SetNativePixelFormat(false);
  EXPECT_FALSE(io_.Params().NativePixelFormat);
}

}  // namespace

namespace {

TEST(IOControllerDpi, AutoAdjustDPIMakesPixelsSquare) {
  struct Case {
    int w, h, dpiX, dpiY, wantW, wantH, wantDpiX, wantDpiY;
  };
  const Case cases[] = {
      {1000, 800, 200, 100, 1000, 1600, 200, 200},
      {800, 1000, 200, 100, 400, 1000, 100, 100},
      {30, 20, 96, 96, 30, 20, 96, 96},  // square already: untouched
  };
  for (const auto& c : cases) {
    TTalvexIO io;
    io.Bitmap()->Allocate(c.w, c.h, lx8g);
    io.Params().SetDpiX(c.dpiX);
    io.Params().SetDpiY(c.dpiY);
    io.AdjustDPI();
    EXPECT_EQ(io.Bitmap()->Width(), c.wantW);
    EXPECT_EQ(io.Bitmap()->Height(), c.wantH);
    EXPECT_EQ(io.Bitmap()->PixelFormat(), lx8g);  // an unfiltered stretch keeps the format
    EXPECT_EQ(io.Params().DpiX(), c.wantDpiX);
    EXPECT_EQ(io.Params().DpiY(), c.wantDpiY);
  }
}

TEST(IOControllerDpi, AdjustDPIRefusesAnAbsurdRatio) {
  TTalvexIO io;
  io.Bitmap()->Allocate(60000, 50000 / 100, lx1g);
  io.Params().SetDpiX(65535);
  io.Params().SetDpiY(1);
  io.AdjustDPI();
  EXPECT_EQ(io.Bitmap()->Height(), 500);
  EXPECT_EQ(io.Params().DpiY(), 1);
}

}  // namespace

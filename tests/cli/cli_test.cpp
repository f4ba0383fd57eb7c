// Runs the built quelmar-cli as a user would.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/corpus.h"

namespace fs = std::filesystem;

namespace {

struct TRun {
  int status = -1;
  std::string out, err;
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TRun Cli(const std::string& args, const std::string& scratch) {
  const std::string errFile = scratch + "/stderr.txt";
  const std::string cmd = Quote(std::string(QUELMAR_BINARY_DIR) + "/quelmar-cli") + " " + args +
                          " 2>" + Quote(errFile);
  TRun r;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  const int st = ::pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  r.err = ReadFile(errFile);
  return r;
}

int Lines(const std::string& s) {
  int n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

class CliTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!fs::exists(std::string(QUELMAR_BINARY_DIR) + "/quelmar-cli"))
      GTEST_SKIP() << "quelmar-cli is not built";
    dir = ScratchDir(std::string("cli-") +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override {
    if (!dir.empty()) fs::remove_all(dir);
  }
  // A 24-bit picture with a gradient, made by ImageMagick.
  std::string MakePicture(const std::string& name, const std::string& size = "40x30") {
    const std::string path = dir + "/" + name;
    const std::string cmd = "convert -size " + size + " gradient:red-blue -type TrueColor " +
                            Quote(path) + " 2>/dev/null";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    return path;
  }
  std::string dir;
};

}  // namespace

TEST_F(CliTest, HelpAndBadUsage) {
  TRun help = Cli("--help", dir);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("quelmar-cli convert INPUT OUTPUT.ico"), std::string::npos);
  // The writable extensions come from the format table.
  EXPECT_NE(help.out.find("Writable extensions: jpg, jpeg, jpe, bmp, dib, rle, ico, png.\n"), std::string::npos)
      << help.out;
  const char* bad[] = {"",
                       "frobnicate",
                       "convert only-one.png",
                       "convert a.png b.ico --size 0",
                       "convert a.png b.ico --size 30000x30000",
                       "convert a.png b.ico --depth 7",
                       "convert a.png b.ico --bits-per-sample 9",
                       "convert a.png b.ico --size 16 --icon-sizes 16,32",
                       "convert a.png b.ico --icon-sizes 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17",
                       "convert a.png b.ico --resize 10x10",
                       "convert a.png b.bmp --size 16",
                       "convert a.png b.bmp --resize 10",
                       "convert a.png b.bmp --filter blurry",
                       "convert a.png b.ico --whatever",
                       "info",
                       "info a b"};
  for (const char* args : bad) {
    TRun r = Cli(args, dir);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err.find("quelmar-cli: "), std::string::npos) << args;
  }
}

TEST_F(CliTest, MissingAndNonImageInputsFailWithOneLine) {
  const std::string text = dir + "/notes.bmp";
  std::ofstream(text) << "this is not a bitmap at all, just words";
  const std::string cases[] = {"convert " + Quote(dir + "/missing.bmp") + " " + Quote(dir + "/o.ico"),
                               "info " + Quote(dir + "/missing.bmp"),
                               "convert " + Quote(text) + " " + Quote(dir + "/o.ico"),
                               "info " + Quote(text)};
  for (const std::string& args : cases) {
    TRun r = Cli(args, dir);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(Lines(r.err), 1) << args << ": " << r.err;
  }
  EXPECT_FALSE(fs::exists(dir + "/o.ico"));
}

namespace {
// icotool -l lines, one per image: "--icon --index=1 --width=32 --height=32 --bit-depth=32 ...".
std::string IcoList(const std::string& ico) {
  std::string out;
  FILE* p = ::popen(("icotool -l " + Quote(ico) + " 2>/dev/null").c_str(), "r");
  if (!p) return out;
  std::array<char, 1024> buf{};
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  ::pclose(p);
  return out;
}
}  // namespace

TEST_F(CliTest, ConvertsToAnIconWithTheWindowDefaults) {
  REQUIRE_TOOL("convert");
  REQUIRE_TOOL("icotool");
  const std::string in = MakePicture("pic.bmp");
  const std::string ico = dir + "/pic.ico";
  TRun r = Cli("convert " + Quote(in) + " " + Quote(ico), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string list = IcoList(ico);
  EXPECT_NE(list.find("--width=32 --height=32 --bit-depth=32"), std::string::npos) << list;
  EXPECT_EQ(Lines(list), 1) << list;
}

TEST_F(CliTest, SizeDepthAndSeveralSizes) {
  REQUIRE_TOOL("convert");
  REQUIRE_TOOL("icotool");
  const std::string in = MakePicture("pic.bmp");
  struct Case { std::string args; std::vector<std::string> expected; };
  const Case cases[] = {
      {"--size 48x40 --depth 8", {"--width=48 --height=40 --bit-depth=8"}},
      {"--size 16 --depth 4", {"--width=16 --height=16 --bit-depth=4"}},
      {"--size 64 --depth 1", {"--width=64 --height=64 --bit-depth=1"}},
      {"--icon-sizes 16,32,48,256 --depth 24",
       {"--width=16 --height=16 --bit-depth=24", "--width=32 --height=32 --bit-depth=24",
        "--width=48 --height=48 --bit-depth=24", "--width=256 --height=256 --bit-depth=24"}},
  };
  for (const Case& c : cases) {
    const std::string ico = dir + "/out.ico";
    TRun r = Cli("convert " + Quote(in) + " " + Quote(ico) + " " + c.args, dir);
    ASSERT_EQ(r.status, 0) << c.args << ": " << r.err;
    const std::string list = IcoList(ico);
    EXPECT_EQ(Lines(list), int(c.expected.size())) << c.args << "\n" << list;
    for (const std::string& e : c.expected) EXPECT_NE(list.find(e), std::string::npos) << c.args << "\n" << list;
  }
}

TEST_F(CliTest, ConvertsByExtensionWithResizeAndReportsInfo) {
  REQUIRE_TOOL("convert");
  const std::string in = MakePicture("pic.bmp", "40x30");
  TRun info = Cli("info " + Quote(in), dir);
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("format: Windows Bitmap"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("width: 40\nheight: 30\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("frames: 1"), std::string::npos) << info.out;
  for (const char* filter : {"none", "lanczos3", "fastlinear"}) {
    const std::string out = dir + "/small.bmp";
    TRun r = Cli("convert " + Quote(in) + " " + Quote(out) + " --resize 20x10 --filter " + filter, dir);
    ASSERT_EQ(r.status, 0) << filter << ": " << r.err;
    TRun small = Cli("info " + Quote(out), dir);
    EXPECT_NE(small.out.find("width: 20\nheight: 10\n"), std::string::npos) << filter << "\n" << small.out;
  }
}

TEST_F(CliTest, WriteFailuresExitWithOne) {
  REQUIRE_TOOL("convert");
  const std::string in = MakePicture("pic.bmp");
  const std::string outs[] = {dir + "/no/such/folder/x.ico", dir + "/x.unknownext"};
  for (const std::string& out : outs) {
    TRun r = Cli("convert " + Quote(in) + " " + Quote(out), dir);
    EXPECT_EQ(r.status, 1) << out;
    EXPECT_EQ(Lines(r.err), 1) << r.err;
    EXPECT_FALSE(fs::exists(out));
  }
}

// The window's create command, run on the real components with a recording host.
#include "app/model/converter.h"
#include "app/model/talvexengine.h"
#include "io/controller.h"
#include "tests/app/fakeconverter.h"
#include "view/view.h"

TEST_F(CliTest, IconIsByteIdenticalToTheCreateCommands) {
  REQUIRE_TOOL("convert");
  const std::string in = MakePicture("pic.bmp", "70x50");
  struct Case { const char* cli; bool custom; const char* x; const char* y; int colour; int spin; };
  const Case cases[] = {{"", false, "", "", 4, 8},
                        {"--size 48x40 --depth 8", true, "48", "40", 5, 8},
                        {"--size 16 --depth 4 --bits-per-sample 3", true, "16", "16", 6, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cli);
    TTalvexView view;
    TTalvexIO loader;
    TTalvexConverterEngine engine(view, loader);
    TFakeConverterHost host;
    host.ProgramDir = dir + "/";
    TConverter conv(host, engine);
    conv.FormShow();
    conv.loadImageFile(in);
    if (c.custom) {
      conv.Rb2 = false;
      conv.Rb7 = true;
      conv.edX = c.x;
      conv.edY = c.y;
    }
    conv.Rb4 = c.colour == 4;
    conv.Rb5 = c.colour == 5;
    conv.Rb6 = c.colour == 6;
    conv.SpinEdit1 = c.spin;
    conv.edFileName = "window";
    conv.SpeedButton2Click();
    ASSERT_EQ(host.Messages, std::vector<std::string>{"Файл сконвертирован в :" + dir + "/"});
    TRun r = Cli("convert " + Quote(in) + " " + Quote(dir + "/cli.ico") + " " + c.cli, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string a = ReadFile(dir + "/window.ico"), b = ReadFile(dir + "/cli.ico");
    EXPECT_GT(a.size(), 22u);
    EXPECT_TRUE(a == b) << a.size() << " vs " << b.size();
  }
}

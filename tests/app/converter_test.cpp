#include "app/model/converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/syscolors.h"
#include "tests/app/fakeconverter.h"
#include "tests/support/corpus.h"

namespace fs = std::filesystem;

class ConverterTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir = ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    folder = dir + "/";
    host.ProgramDir = folder;
    conv.FormShow();
  }
  void TearDown() override { fs::remove_all(dir); }
  // Files in the output folder, so a test can see that nothing else was left behind.
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string dir, folder;
  TFakeConverterHost host;
  TFakeConverterEngine engine;
  TConverter conv{host, engine};
};

TEST_F(ConverterTest, StartsWithTheWindowDefaults) {
  EXPECT_TRUE(LastLoadedFile.empty());
  EXPECT_TRUE(conv.Rb2 && conv.Rb4);
  EXPECT_FALSE(conv.edXEnabled || conv.edYEnabled);
  EXPECT_EQ(conv.SpinEdit1, 8);
  EXPECT_EQ(conv.Edit1, "для цветного отображения (256 цветов)");
  EXPECT_EQ(conv.edFileName, "Иконко Йа");
  EXPECT_EQ(conv.Edit2, folder);
  EXPECT_EQ(engine.Background, clWindow);
}

TEST_F(ConverterTest, OutputFolderFallsBackToHomeWhenProgramFolderIsNotWritable) {
  host.ProgramDir = "/nonexistent-program-dir/";
  conv.FormShow();
  EXPECT_EQ(conv.Edit2, "/home/someone/");
}

TEST_F(ConverterTest, LoadFillsTheInformationFields) {
  conv.loadImageFile("/pictures/cat.png");
  EXPECT_EQ(LastLoadedFile, "/pictures/cat.png");
  EXPECT_EQ(engine.Loaded, std::vector<std::string>{"/pictures/cat.png"});
  EXPECT_EQ(conv.Label1, "cat.png   640x480");
  EXPECT_EQ(conv.edX, "218");
  EXPECT_EQ(conv.edY, "163");
  EXPECT_EQ(conv.edFileName, "cat");
}

TEST_F(ConverterTest, LoadErrorIsReportedAndTheFieldsStay) {
  engine.LoadRaises = true;
  conv.loadImageFile("/pictures/missing.png");
  EXPECT_EQ(LastLoadedFile, "/pictures/missing.png");
  ASSERT_EQ(host.Messages.size(), 1u);
  EXPECT_NE(host.Messages[0].find("missing.png"), std::string::npos);
  EXPECT_EQ(conv.Label1, "");
  EXPECT_EQ(conv.edFileName, "Иконко Йа");
}

TEST_F(ConverterTest, CustomSize48x40WritesOneImageOfThatSize) {
  conv.loadImageFile("/pictures/cat.png");
  conv.Rb2 = false;
  conv.Rb7 = true;
  conv.Rb1Click(TSizeButton::Rb7);
  EXPECT_TRUE(conv.edXEnabled && conv.edYEnabled);
  conv.edX = "48";
  conv.edY = "40";
  conv.SpeedButton2Click();
  EXPECT_EQ(engine.Icon.width, 48);
  EXPECT_EQ(engine.Icon.height, 40);
  EXPECT_EQ(engine.Icon.bitCount, 32);
  EXPECT_EQ(engine.Icon.bitsPerSample, 8);
  EXPECT_EQ(Files(), std::vector<std::string>{"cat.ico"});
  EXPECT_EQ(host.Messages, std::vector<std::string>{"Файл сконвертирован в :" + folder});
}

TEST_F(ConverterTest, LettersInTheCustomSizeGiveTheDisplayedSizeBothWays) {
  conv.loadImageFile("/pictures/cat.png");
  conv.Rb2 = false;
  conv.Rb7 = true;
  conv.edX = "4x";
  conv.edY = "40";
  conv.SpeedButton2Click();
  EXPECT_EQ(engine.Icon.width, 218);
  EXPECT_EQ(engine.Icon.height, 163);
}

TEST_F(ConverterTest, ColourButtonsGiveTheDepthWithACustomSize) {
  conv.loadImageFile("/pictures/cat.png");
  conv.Rb2 = false;
  conv.Rb7 = true;
  conv.Rb4 = false;
  conv.Rb6 = true;
  conv.SpinEdit1 = 3;
  conv.edX = "20";
  conv.edY = "10";
  conv.SpeedButton2Click();
  EXPECT_EQ(engine.Icon.bitCount, 4);
  EXPECT_EQ(engine.Icon.bitsPerSample, 3);
  EXPECT_EQ(engine.Icon.width, 20);
}

TEST_F(ConverterTest, PresetSizesIgnoreTheCustomEdits) {
  conv.loadImageFile("/pictures/cat.png");
  conv.edX = "48";
  conv.edY = "40";
  const struct { bool TConverter::*button; int size; } presets[] = {
      {&TConverter::Rb1, 64}, {&TConverter::Rb2, 32}, {&TConverter::Rb3, 16}};
  for (const auto& p : presets) {
    conv.Rb1 = conv.Rb2 = conv.Rb3 = conv.Rb7 = false;
    conv.*p.button = true;
    conv.SpeedButton2Click();
    EXPECT_EQ(engine.Icon.width, p.size);
    EXPECT_EQ(engine.Icon.height, p.size);
  }
}

TEST_F(ConverterTest, CustomSizeWithoutAFileDoesNothing) {
  conv.Rb2 = false;
  conv.Rb7 = true;
  conv.SpeedButton2Click();
  EXPECT_TRUE(host.Messages.empty());
  EXPECT_TRUE(engine.IconSaves.empty() && engine.ExtensionSaves.empty());
  EXPECT_TRUE(Files().empty());
}

TEST_F(ConverterTest, NoFileWritesEmtryFileIco) {
  conv.SpeedButton2Click();
  EXPECT_EQ(engine.ExtensionSaves.size(), 1u);
  EXPECT_EQ(Files(), std::vector<std::string>{"EmtryFile.ico"});
  EXPECT_EQ(host.Messages, std::vector<std::string>{"Создан файл:" + folder + "EmtryFile.ico"});
}

TEST_F(ConverterTest, ClearThenCreateWritesEmtryFile) {
  conv.loadImageFile("/pictures/cat.png");
  conv.SpeedButton5Click();
  EXPECT_EQ(engine.Clears, 1);
  EXPECT_TRUE(LastLoadedFile.empty());
  EXPECT_EQ(conv.Label1, "");
  EXPECT_EQ(conv.edFileName, "");
  EXPECT_EQ(conv.Edit2, folder);
  conv.SpeedButton2Click();
  EXPECT_EQ(Files(), std::vector<std::string>{"EmtryFile.ico"});
  EXPECT_EQ(engine.Icon.width, 32);
}

TEST_F(ConverterTest, FolderWithAndWithoutTrailingSlash) {
  conv.loadImageFile("/pictures/cat.png");
  for (const std::string& text : {dir, folder}) {
    host.Messages.clear();
    conv.Edit2 = text;
    conv.SpeedButton2Click();
    EXPECT_EQ(Files(), std::vector<std::string>{"cat.ico"});
    EXPECT_EQ(host.Messages, std::vector<std::string>{"Файл сконвертирован в :" + folder});
  }
}

TEST_F(ConverterTest, MissingOrEmptyFolderIsReported) {
  for (bool loaded : {true, false}) {
    if (loaded) conv.loadImageFile("/pictures/cat.png");
    else conv.SpeedButton5Click();
    for (const std::string& text : {std::string(), dir + "/nope", std::string("display name")}) {
      host.Messages.clear();
      conv.Edit2 = text;
      conv.SpeedButton2Click();
      EXPECT_EQ(host.Messages, std::vector<std::string>{"Output directory not found!"}) << text;
    }
  }
  EXPECT_TRUE(engine.IconSaves.empty() && engine.ExtensionSaves.empty());
}

TEST_F(ConverterTest, FailedSavesReportErrorAndLeaveNoFile) {
  struct Case { bool loaded, raises; const char* message; };
  const Case cases[] = {{true, false, "Error !!!"}, {true, true, "Error !!!"},
                        {false, false, "Output directory not found!"},
                        {false, true, "Output directory not found!"}};
  for (const Case& c : cases) {
    conv.SpeedButton5Click();
    if (c.loaded) conv.loadImageFile("/pictures/cat.png");
    engine.SaveFails = !c.raises;
    engine.SaveRaises = c.raises;
    host.Messages.clear();
    conv.SpeedButton2Click();
    EXPECT_EQ(host.Messages, std::vector<std::string>{c.message});
    EXPECT_TRUE(Files().empty());
  }
}

TEST_F(ConverterTest, FailedSaveKeepsAnEarlierIcon) {
  conv.loadImageFile("/pictures/cat.png");
  conv.SpeedButton2Click();
  engine.SaveFails = true;
  conv.SpeedButton2Click();
  std::ifstream in(folder + "cat.ico");
  std::string content;
  in >> content;
  EXPECT_EQ(content, "icon-bytes");
  EXPECT_EQ(Files(), std::vector<std::string>{"cat.ico"});
}

TEST_F(ConverterTest, CustomSizesThatGiveNoIconAreRefused) {
  conv.loadImageFile("/pictures/cat.png");
  conv.Rb2 = false;
  conv.Rb7 = true;
  const std::pair<const char*, const char*> sizes[] = {
      {"0", "0"}, {"-3", "16"}, {"16", "0"}, {"30000", "30000"}, {"5000", "16"}};
  for (const auto& [x, y] : sizes) {
    host.Messages.clear();
    conv.edX = x;
    conv.edY = y;
    conv.SpeedButton2Click();
    EXPECT_EQ(host.Messages, std::vector<std::string>{"Error !!!"}) << x << "x" << y;
  }
  EXPECT_TRUE(engine.IconSaves.empty());
  EXPECT_TRUE(Files().empty());
}

TEST_F(ConverterTest, SpinTexts) {
  const std::pair<int, const char*> cases[] = {
      {8, "for colormapped (256 colors)"},
      {5, "for colormapped bitmap (from 4 to 128 colors)"},
      {2, "for colormapped bitmap (from 4 to 128 colors)"},
      {1, "black & white"}};
  for (const auto& [v, text] : cases) {
    conv.SpinEdit1 = v;
    conv.SpinEdit1Change();
    EXPECT_EQ(conv.Edit1, text) << v;
  }
  conv.SpinEdit1 = 9;
  conv.SpinEdit1Change();
  EXPECT_EQ(conv.Edit1, "black & white");
}

TEST_F(ConverterTest, SizeButtonsEnableTheCustomEdits) {
  conv.edX = "7";
  conv.Rb1Click(TSizeButton::Rb7);
  EXPECT_TRUE(conv.edXEnabled && conv.edYEnabled);
  conv.Rb1Click(TSizeButton::Rb3);
  EXPECT_FALSE(conv.edXEnabled || conv.edYEnabled);
  EXPECT_EQ(conv.edX, "7");
}

TEST_F(ConverterTest, ImageDropLoadsTheFirstFileWhoseExtensionIsInTheFilter) {
  conv.BrixDropFileImgDrop({"/p/photo.JPG"});
  conv.BrixDropFileImgDrop({"/p/noext"});
  conv.BrixDropFileImgDrop({"/p/readme.txt", "/p/ok.png"});
  conv.BrixDropFileImgDrop({});
  EXPECT_TRUE(engine.Loaded.empty());
  EXPECT_TRUE(LastLoadedFile.empty());
  conv.BrixDropFileImgDrop({"/p/photo.jpg", "/p/second.png"});
  EXPECT_EQ(engine.Loaded, std::vector<std::string>{"/p/photo.jpg"});
  EXPECT_EQ(conv.edFileName, "photo");
}

TEST_F(ConverterTest, FolderDropTakesAnEntryWithoutExtension) {
  conv.BrixDropFiles1Drop({"/data/out.d"});
  EXPECT_EQ(conv.Edit2, folder);
  conv.BrixDropFiles1Drop({"/data/out", "/data/other"});
  EXPECT_EQ(conv.Edit2, "/data/out");
}

// The filter comes from the format table; this is the text the window always had.
TEST(ConverterFilter, IsTheWindowsOwnText) {
  EXPECT_EQ(ConverterOpenFilter(),
            "Вся графика|*.tif;*.tiff;*.fax;*.g3n;*.g3f;*.gif;*.jpg;*.jpeg;*.jpe;*.pcx;*.bmp;*.dib;*.rle;"
            "*.ico;*.cur;*.png;*.wmf;*.emf;*.tga;*.targa;*.vda;*.icb;*.vst;*.pix;*.pxm;*.ppm;*.pgm;*.pbm;"
            "*.wbmp;*.jp2;*.j2k;*.jpc;*.j2c;;*.avi"
            "|TIFF Bitmap (TIF;TIFF;FAX;G3N;G3F)|*.tif;*.tiff;*.fax;*.g3n;*.g3f"
            "|CompuServe Bitmap (GIF)|*.gif"
            "|JPEG Bitmap (JPG;JPEG;JPE)|*.jpg;*.jpeg;*.jpe"
            "|PaintBrush (PCX)|*.pcx"
            "|Windows Bitmap (BMP;DIB;RLE)|*.bmp;*.dib;*.rle"
            "|Windows Icon (ICO)|*.ico"
            "|Windows Cursor (CUR)|*.cur"
            "|Portable Network Graphics (PNG)|*.png"
            "|Windows Metafile (WMF)|*.wmf"
            "|Enhanced Windows Metafile (EMF)|*.emf"
            "|Targa Bitmap (TGA;TARGA;VDA;ICB;VST;PIX)|*.tga;*.targa;*.vda;*.icb;*.vst;*.pix"
            "|Portable Pixmap, GrayMap, BitMap (PXM;PPM;PGM;PBM)|*.pxm;*.ppm;*.pgm;*.pbm"
            "|Wireless Bitmap (WBMP)|*.wbmp"
            "|JPEG2000 (JP2)|*.jp2"
            "|JPEG2000 Code Stream (J2K;JPC;J2C)|*.j2k;*.jpc;*.j2c");
}

TEST_F(ConverterTest, OpenCommandStartsInTheProgramFolder) {
  conv.SpeedButton1Click();
  EXPECT_EQ(host.OpenInitialDir, folder);
  EXPECT_EQ(host.OpenFilter, ConverterOpenFilter());
  EXPECT_TRUE(engine.Loaded.empty());
  host.OpenConfirms = true;
  host.OpenAnswer = "/p/dog.bmp";
  conv.SpeedButton1Click();
  EXPECT_EQ(engine.Loaded, std::vector<std::string>{"/p/dog.bmp"});
}

TEST_F(ConverterTest, BrowseStartsAtTheFolderAndKeepsItOnCancel) {
  conv.Button1Click();
  EXPECT_EQ(host.BrowseStart, folder);
  EXPECT_EQ(conv.Edit2, folder);
  host.BrowseConfirms = true;
  host.BrowseAnswer = "/tmp";
  conv.Button1Click();
  EXPECT_EQ(conv.Edit2, "/tmp");
}

TEST_F(ConverterTest, ViewChangeCopiesTheDisplayedSize) {
  engine.DispW = 100;
  engine.DispH = 50;
  conv.TalvexView1ViewChange(1);
  EXPECT_EQ(conv.edX, "100");
  EXPECT_EQ(conv.edY, "50");
}

// The same commands on the real view and controllers.
#include "app/model/talvexengine.h"
#include "io/controller.h"
#include "view/view.h"

namespace {
std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
}  // namespace

class ConverterEngineTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir = ScratchDir(std::string("engine-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    folder = dir + "/";
    host.ProgramDir = folder;
    // As the window sets it up: automatic shrinking raises the notification on every update.
    view.SetAutoShrink(true);
    view.OnViewChange = [this](TTalvexView*, int change) { conv.TalvexView1ViewChange(change); };
    conv.FormShow();
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string MakeBmp(const std::string& name, const char* size) {
    const std::string path = folder + name;
    const std::string cmd = std::string("convert -size ") + size + " gradient:red-blue -type TrueColor BMP3:'" +
                            path + "' 2>/dev/null";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    return path;
  }
  std::string dir, folder;
  TFakeConverterHost host;
  TTalvexView view;
  TTalvexIO loader;
  TTalvexConverterEngine engine{view, loader};
  TConverter conv{host, engine};
};

TEST_F(ConverterEngineTest, CustomIcon48x40) {
  REQUIRE_TOOL("convert");
  conv.loadImageFile(MakeBmp("cat.bmp", "64x48"));
  EXPECT_EQ(conv.Label1, "cat.bmp   64x48");
  conv.Rb2 = false;
  conv.Rb7 = true;
  conv.edX = "48";
  conv.edY = "40";
  conv.SpeedButton2Click();
  ASSERT_EQ(host.Messages, std::vector<std::string>{"Файл сконвертирован в :" + folder});
  const std::string ico = ReadBytes(folder + "cat.ico");
  ASSERT_GE(ico.size(), 22u);
  EXPECT_EQ(ico[4], 1);   // one image
  EXPECT_EQ(ico[6], 48);  // width
  EXPECT_EQ(ico[7], 40);  // height
  EXPECT_EQ(ico[12], 32); // wBitCount
}

TEST_F(ConverterEngineTest, ClearThenCreateWritesTheBlankImage) {
  REQUIRE_TOOL("convert");
  conv.loadImageFile(MakeBmp("cat.bmp", "20x10"));
  conv.SpeedButton5Click();
  EXPECT_EQ(conv.edX, "1");
  EXPECT_EQ(conv.edY, "1");
  conv.SpeedButton2Click();
  ASSERT_EQ(host.Messages, std::vector<std::string>{"Создан файл:" + folder + "EmtryFile.ico"});
  const std::string ico = ReadBytes(folder + "EmtryFile.ico");
  ASSERT_GE(ico.size(), 22u);
  EXPECT_EQ(ico[6], 32);
}

TEST_F(ConverterEngineTest, BrokenFilesAndMissingFiles) {
  const std::string broken = folder + "broken.bmp";
  std::ofstream(broken) << "BM but nothing that a bitmap needs";
  conv.loadImageFile(broken);
  EXPECT_EQ(LastLoadedFile, broken);
  conv.loadImageFile(folder + "missing.png");
  EXPECT_EQ(host.Messages.size(), 1u);
  EXPECT_EQ(LastLoadedFile, folder + "missing.png");
}

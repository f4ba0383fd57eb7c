#pragma once
// A host that records messages and answers dialogs from a script, and an engine that
// records what the commands asked of the view and the controllers.
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/model/converterengine.h"
#include "app/model/converterhost.h"

class TFakeConverterHost : public TPlatformConverterHost {
public:
  std::vector<std::string> Messages;
  bool OpenConfirms = false;
  std::string OpenAnswer, OpenInitialDir, OpenFilter;
  bool BrowseConfirms = false;
  std::string BrowseAnswer, BrowseStart;
  std::string ProgramDir = "/nonexistent-program-dir/";
  std::string HomeDir = "/home/someone/";

  void ShowMessage(const std::string& text) override { Messages.push_back(text); }
  bool ExecuteOpenDialog(const std::string& initialDir, const std::string& filter,
                         std::string& fileName) override {
    OpenInitialDir = initialDir;
    OpenFilter = filter;
    if (OpenConfirms) fileName = OpenAnswer;
    return OpenConfirms;
  }
  bool ExecuteBrowseForFolder(std::string& path) override {
    BrowseStart = path;
    if (BrowseConfirms) path = BrowseAnswer;
    return BrowseConfirms;
  }
  std::string ProgramFolder() override { return ProgramDir; }
  std::string HomeFolder() override { return HomeDir; }
};

struct TIconCall {
  int width = 0, height = 0, bitCount = 0, bitsPerSample = 0;
};

class TFakeConverterEngine : public TConverterEngine {
public:
  // What a load leaves: image and displayed sizes, or an error to raise.
  int NextWidth = 640, NextHeight = 480, NextDisplayWidth = 218, NextDisplayHeight = 163;
  bool LoadRaises = false;
  int Width = 1, Height = 1, DispW = 1, DispH = 1;
  std::vector<std::string> Loaded;
  std::vector<std::string> IconSaves, ExtensionSaves;
  int Clears = 0;
  int32_t Background = 0;
  TIconCall Icon;
  bool SaveFails = false;      // AbortFlag left set, a partial file written
  bool SaveRaises = false;

  void LoadFile(const std::string& fileName) override {
    Loaded.push_back(fileName);
    if (LoadRaises) throw std::runtime_error("Cannot open " + fileName);
    Width = NextWidth;
    Height = NextHeight;
    DispW = NextDisplayWidth;
    DispH = NextDisplayHeight;
  }
  int ImageWidth() override { return Width; }
  int ImageHeight() override { return Height; }
  int DisplayWidth() override { return DispW; }
  int DisplayHeight() override { return DispH; }
  void ClearView() override {
    ++Clears;
    Width = Height = DispW = DispH = 1;
  }
  void SetViewBackground(int32_t colour) override { Background = colour; }
  void SetIconParams(int width, int height, int bitCount, int bitsPerSample) override {
    Icon = {width, height, bitCount, bitsPerSample};
  }
  bool SaveIconFile(const std::string& fileName) override {
    IconSaves.push_back(fileName);
    return Write(fileName);
  }
  bool SaveFile(const std::string& fileName) override {
    ExtensionSaves.push_back(fileName);
    return Write(fileName);
  }

private:
  bool Write(const std::string& fileName) {
    std::ofstream out(fileName, std::ios::binary);
    if (!out) throw std::runtime_error("Cannot create " + fileName);
    out << (SaveFails ? "part" : "icon-bytes");
    if (SaveRaises) throw std::runtime_error("write failed");
    return !SaveFails;
  }
};

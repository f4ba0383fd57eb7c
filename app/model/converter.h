#pragma once
// The converter window's state and every command behind its controls, free of any toolkit.
#include <string>
#include <vector>

class TConverterHost;
class TConverterEngine;

// Full name of the last file handed to loadImageFile; empty when none is loaded.
extern std::string LastLoadedFile;

// The open dialog's filter; the image drop accepts an extension found anywhere in it.
const std::string& ConverterOpenFilter();

// The largest custom icon side the create command accepts.
inline constexpr int kMaxCustomIconSide = 4096;

// Senders of the size buttons' shared click handler.
enum class TSizeButton { Rb1, Rb2, Rb3, Rb7 };

class TConverter {
public:
  TConverter(TConverterHost& host, TConverterEngine& engine);

  // --- state: the values of the window's controls ---
  std::string Label1;
  std::string edX, edY;
  bool edXEnabled = false, edYEnabled = false;
  bool Rb1 = false, Rb2 = true, Rb3 = false, Rb7 = false;  // 64, 32, 16, custom
  bool Rb4 = true, Rb5 = false, Rb6 = false;              // 32, 8, 4 bits
  int SpinEdit1 = 8;
  std::string Edit1 = "для цветного отображения (256 цветов)";
  std::string Edit2;
  std::string edFileName = "Иконко Йа";
  std::string OpenDialogFilter = ConverterOpenFilter();

  // --- commands and notifications ---
  void loadImageFile(const std::string& fileName);
  void SpeedButton1Click();
  void SpeedButton2Click();
  void SpeedButton5Click();
  void SpinEdit1Change();
  void Rb1Click(TSizeButton sender);
  void TalvexView1ViewChange(int change);
  void TalvexView1MouseWheel() {}
  void FormShow();
  void Button1Click();
  void BrixDropFileImgDrop(const std::vector<std::string>& droppedFiles);
  void BrixDropFiles1Drop(const std::vector<std::string>& droppedFiles);

  TConverterHost& Host() { return host_; }
  TConverterEngine& Engine() { return engine_; }

private:
  // Saves through a temporary file beside target so a failed save leaves nothing behind.
  enum class TSaveKind { Icon, ByExtension };
  bool SaveReplacing(const std::string& target, TSaveKind kind);

  TConverterHost& host_;
  TConverterEngine& engine_;
};

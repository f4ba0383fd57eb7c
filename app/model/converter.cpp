#include "app/model/converter.h"

#include <cerrno>
#include <charconv>
#include <exception>
#include <optional>
#include <unistd.h>

#include "app/model/converterengine.h"
#include "app/model/converterhost.h"
#include "platform/files.h"
#include "image/types.h"
#include "io/registry.h"
#include "platform/syscolors.h"

std::string LastLoadedFile;

// The window's own filter text: every format the library family reads, from the
// format table, with the video pattern closing the all-formats list.
const std::string& ConverterOpenFilter() {
  static const std::string filter = IOOpenDialogFilter("Вся графика", true, "", false);
  return filter;
}

static const char kMsgNoFolder[] = "Output directory not found!";
static const char kMsgError[] = "Error !!!";
static const char kMsgConverted[] = "Файл сконвертирован в :";
static const char kMsgCreated[] = "Создан файл:";

// A decimal integer with optional leading blanks and sign, as the edits hold it.
static std::optional<int> ParseInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  int value = 0;
  auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last || first == last) return std::nullopt;
  return value;
}

TConverter::TConverter(TConverterHost& host, TConverterEngine& engine)
    : host_(host), engine_(engine) {
  LastLoadedFile.clear();
}

void TConverter::loadImageFile(const std::string& fileName) {
  LastLoadedFile = fileName;
  try {
    engine_.LoadFile(fileName);
  } catch (const std::exception& e) {
    // The handler stops here as it would if the error went on to the general report.
    host_.ShowMessage(e.what());
    return;
  }
  Label1 = ExtractFileName(fileName) + "   " + std::to_string(engine_.ImageWidth()) + "x" +
           std::to_string(engine_.ImageHeight());
  edX = std::to_string(engine_.DisplayWidth());
  edY = std::to_string(engine_.DisplayHeight());
  edFileName = ExtractFileBaseName(fileName);
}

void TConverter::SpeedButton1Click() {
  std::string fileName;
  if (host_.ExecuteOpenDialog(host_.ProgramFolder(), OpenDialogFilter, fileName))
    loadImageFile(fileName);
}

bool TConverter::SaveReplacing(const std::string& target, TSaveKind kind) {
  // The temporary name keeps the target's extension: the by-extension save dispatches on it.
  const std::string temp = ExtractFilePath(target) + ".quelmar-" + std::to_string(::getpid()) + "-" +
                           ExtractFileName(target);
  bool ok = false;
  try {
    ok = kind == TSaveKind::Icon ? engine_.SaveIconFile(temp) : engine_.SaveFile(temp);
  } catch (const std::exception&) {
    ok = false;
  }
  if (ok && RenameFile(temp, target)) return true;
  DeleteFile(temp);
  return false;
}

void TConverter::SpeedButton2Click() {
  // An empty folder text names no folder; appending "/" would make it the root.
  const bool folderGiven = !Edit2.empty();
  std::string folder = Edit2;
  if (folder.empty() || folder.back() != '/') folder += '/';
  const bool folderExists = folderGiven && host_.DirectoryExists(folder);

  std::optional<int> w = ParseInt(edX), h = ParseInt(edY);
  int customW, customH;
  if (w && h) {
    customW = *w;
    customH = *h;
  } else {
    customW = engine_.DisplayWidth();
    customH = engine_.DisplayHeight();
  }

  int size = 0;
  if (Rb1) size = 64;
  if (Rb2) size = 32;
  if (Rb3) size = 16;
  int depth = 0;
  if (Rb4) depth = 32;
  if (Rb5) depth = 8;
  if (Rb6) depth = 4;

  if (Rb7)
    engine_.SetIconParams(customW, customH, depth, SpinEdit1);
  else
    engine_.SetIconParams(size, size, depth, SpinEdit1);

  if (!LastLoadedFile.empty()) {
    if (!folderExists) {
      host_.ShowMessage(kMsgNoFolder);
      return;
    }
    // A size that yields no icon image, or one no icon can sensibly hold, is refused
    // before anything is written.
    if (Rb7 && (customW < 1 || customH < 1 || customW > kMaxCustomIconSide ||
                customH > kMaxCustomIconSide || !CheckedImageBytes(customW, customH, 32))) {
      host_.ShowMessage(kMsgError);
      return;
    }
    const std::string output = folder + edFileName + ".ico";
    if (SaveReplacing(output, TSaveKind::Icon))
      host_.ShowMessage(kMsgConverted + folder);
    else
      host_.ShowMessage(kMsgError);
  } else {
    if (Rb7) return;
    if (!folderExists) {
      host_.ShowMessage(kMsgNoFolder);
      return;
    }
    const std::string output = folder + "EmtryFile.ico";
    if (SaveReplacing(output, TSaveKind::ByExtension))
      host_.ShowMessage(kMsgCreated + output);
    else
      host_.ShowMessage(kMsgNoFolder);
  }
}

void TConverter::SpeedButton5Click() {
  engine_.ClearView();
  Label1.clear();
  edFileName.clear();
  LastLoadedFile.clear();
}

void TConverter::SpinEdit1Change() {
  const int v = SpinEdit1;
  if (v == 1)
    Edit1 = "black & white";
  else if (v >= 2 && v <= 7)
    Edit1 = "for colormapped bitmap (from 4 to 128 colors)";
  else if (v == 8)
    Edit1 = "for colormapped (256 colors)";
}

void TConverter::Rb1Click(TSizeButton sender) {
  const bool custom = sender == TSizeButton::Rb7;
  edYEnabled = custom;
  edXEnabled = custom;
}

void TConverter::TalvexView1ViewChange(int /*change*/) {
  edX = std::to_string(engine_.DisplayWidth());
  edY = std::to_string(engine_.DisplayHeight());
}

void TConverter::FormShow() {
  engine_.SetViewBackground(clWindow);
  // Installed system-wide the program's folder is not the user's to write into.
  const std::string programFolder = host_.ProgramFolder();
  Edit2 = host_.DirectoryWritable(programFolder) ? programFolder : host_.HomeFolder();
}

void TConverter::Button1Click() {
  std::string path = Edit2;
  if (host_.ExecuteBrowseForFolder(path)) Edit2 = path;
}

void TConverter::BrixDropFileImgDrop(const std::vector<std::string>& droppedFiles) {
  if (droppedFiles.empty()) return;
  const std::string& first = droppedFiles.front();
  const std::string ext = ExtractFileExt(first);
  if (!ext.empty() && OpenDialogFilter.find(ext) != std::string::npos) loadImageFile(first);
}

void TConverter::BrixDropFiles1Drop(const std::vector<std::string>& droppedFiles) {
  if (droppedFiles.empty()) return;
  const std::string& first = droppedFiles.front();
  if (ExtractFileExt(first).empty()) Edit2 = first;
}

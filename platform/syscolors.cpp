#include "platform/syscolors.h"

#include <mutex>

static constexpr uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) { return uint32_t(RGBColor(r, g, b)); }

static constexpr TSysColorTable kDefaults = {
    Rgb(200, 200, 200),  // scroll bar
    Rgb(0, 0, 0),        // desktop
    Rgb(153, 180, 209),  // active caption
    Rgb(191, 205, 219),  // inactive caption
    Rgb(240, 240, 240),  // menu
    Rgb(255, 255, 255),  // window
    Rgb(100, 100, 100),  // window frame
    Rgb(0, 0, 0),        // menu text
    Rgb(0, 0, 0),        // window text
    Rgb(0, 0, 0),        // caption text
    Rgb(180, 180, 180),  // active border
    Rgb(244, 247, 252),  // inactive border
    Rgb(171, 171, 171),  // application workspace
    Rgb(0, 120, 215),    // highlight
    Rgb(255, 255, 255),  // highlight text
    Rgb(240, 240, 240),  // button face
    Rgb(160, 160, 160),  // button shadow
    Rgb(109, 109, 109),  // grey text
    Rgb(0, 0, 0),        // button text
    Rgb(0, 0, 0),        // inactive caption text
    Rgb(255, 255, 255),  // button highlight
    Rgb(105, 105, 105),  // 3D dark shadow
    Rgb(227, 227, 227),  // 3D light
    Rgb(0, 0, 0),        // info text
    Rgb(255, 255, 225),  // info background
    Rgb(0, 0, 0),        // unused slot 25
    Rgb(0, 102, 204),    // hot light
    Rgb(185, 209, 234),  // gradient active caption
    Rgb(215, 228, 242),  // gradient inactive caption
    Rgb(0, 120, 215),    // menu highlight
    Rgb(240, 240, 240),  // menu bar
};

// The platform's colour table is process-wide by nature; the lock only keeps a
// host refresh from tearing a concurrent read on a worker thread.
static std::mutex& TableLock() {
  static std::mutex lock;
  return lock;
}
static TSysColorTable& Table() {
  static TSysColorTable table = kDefaults;
  return table;
}

uint32_t ColorToRGB(TColor c) {
  if (!IsSysColor(c)) return uint32_t(c) & 0xffffff;
  const uint32_t index = uint32_t(SysColorIndex(c));
  if (index >= uint32_t(kSysColorCount)) return 0;
  std::lock_guard guard(TableLock());
  return Table()[index] & 0xffffff;
}

const TSysColorTable& DefaultSysColors() { return kDefaults; }

TSysColorTable CurrentSysColors() {
  std::lock_guard guard(TableLock());
  return Table();
}

void SetSysColors(const TSysColorTable& table) {
  std::lock_guard guard(TableLock());
  Table() = table;
}

void SetSysColor(int index, uint32_t rgb) {
  if (index < 0 || index >= kSysColorCount) return;
  std::lock_guard guard(TableLock());
  Table()[size_t(index)] = rgb & 0xffffff;
}

void ResetSysColors() { SetSysColors(kDefaults); }

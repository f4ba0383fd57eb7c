#pragma once
// Colours in the windowing encoding: red in the lowest byte, then green, then blue.
// A negative value names a system colour: 0x80000000 | index, resolved through a
// process-wide table that the toolkit binding may fill from its palette.
#include <array>
#include <cstdint>

using TColor = int32_t;

// Indexes of the system colour table (the usual windowing indexes).
enum TSysColorIndex : int {
  COLOR_SCROLLBAR = 0,
  COLOR_BACKGROUND = 1,
  COLOR_ACTIVECAPTION = 2,
  COLOR_INACTIVECAPTION = 3,
  COLOR_MENU = 4,
  COLOR_WINDOW = 5,
  COLOR_WINDOWFRAME = 6,
  COLOR_MENUTEXT = 7,
  COLOR_WINDOWTEXT = 8,
  COLOR_CAPTIONTEXT = 9,
  COLOR_ACTIVEBORDER = 10,
  COLOR_INACTIVEBORDER = 11,
  COLOR_APPWORKSPACE = 12,
  COLOR_HIGHLIGHT = 13,
  COLOR_HIGHLIGHTTEXT = 14,
  COLOR_BTNFACE = 15,
  COLOR_BTNSHADOW = 16,
  COLOR_GRAYTEXT = 17,
  COLOR_BTNTEXT = 18,
  COLOR_INACTIVECAPTIONTEXT = 19,
  COLOR_BTNHIGHLIGHT = 20,
  COLOR_3DDKSHADOW = 21,
  COLOR_3DLIGHT = 22,
  COLOR_INFOTEXT = 23,
  COLOR_INFOBK = 24,
  COLOR_HOTLIGHT = 26,
  COLOR_GRADIENTACTIVECAPTION = 27,
  COLOR_GRADIENTINACTIVECAPTION = 28,
  COLOR_MENUHIGHLIGHT = 29,
  COLOR_MENUBAR = 30,
};
inline constexpr int kSysColorCount = 31;

// System colours as colour values.
inline constexpr TColor clScrollBar = TColor(0x80000000u | 0u);
inline constexpr TColor clBackground = TColor(0x80000000u | 1u);
inline constexpr TColor clActiveCaption = TColor(0x80000000u | 2u);
inline constexpr TColor clInactiveCaption = TColor(0x80000000u | 3u);
inline constexpr TColor clMenu = TColor(0x80000000u | 4u);
inline constexpr TColor clWindow = TColor(0x80000000u | 5u);
inline constexpr TColor clWindowFrame = TColor(0x80000000u | 6u);
inline constexpr TColor clMenuText = TColor(0x80000000u | 7u);
inline constexpr TColor clWindowText = TColor(0x80000000u | 8u);
inline constexpr TColor clCaptionText = TColor(0x80000000u | 9u);
inline constexpr TColor clActiveBorder = TColor(0x80000000u | 10u);
inline constexpr TColor clInactiveBorder = TColor(0x80000000u | 11u);
inline constexpr TColor clAppWorkSpace = TColor(0x80000000u | 12u);
inline constexpr TColor clHighlight = TColor(0x80000000u | 13u);
inline constexpr TColor clHighlightText = TColor(0x80000000u | 14u);
inline constexpr TColor clBtnFace = TColor(0x80000000u | 15u);
inline constexpr TColor clBtnShadow = TColor(0x80000000u | 16u);
inline constexpr TColor clGrayText = TColor(0x80000000u | 17u);
inline constexpr TColor clBtnText = TColor(0x80000000u | 18u);
inline constexpr TColor clInactiveCaptionText = TColor(0x80000000u | 19u);
inline constexpr TColor clBtnHighlight = TColor(0x80000000u | 20u);
inline constexpr TColor cl3DDkShadow = TColor(0x80000000u | 21u);
inline constexpr TColor cl3DLight = TColor(0x80000000u | 22u);
inline constexpr TColor clInfoText = TColor(0x80000000u | 23u);
inline constexpr TColor clInfoBk = TColor(0x80000000u | 24u);
inline constexpr TColor clHotLight = TColor(0x80000000u | 26u);
inline constexpr TColor clGradientActiveCaption = TColor(0x80000000u | 27u);
inline constexpr TColor clGradientInactiveCaption = TColor(0x80000000u | 28u);
inline constexpr TColor clMenuHighlight = TColor(0x80000000u | 29u);
inline constexpr TColor clMenuBar = TColor(0x80000000u | 30u);

constexpr TColor SysColor(int index) { return TColor(0x80000000u | uint32_t(index)); }
constexpr bool IsSysColor(TColor c) { return c < 0; }
constexpr int SysColorIndex(TColor c) { return int(uint32_t(c) & 0x7fffffff); }

constexpr TColor RGBColor(uint8_t r, uint8_t g, uint8_t b) { return TColor(r | (g << 8) | (b << 16)); }
constexpr uint8_t ColorR(uint32_t c) { return uint8_t(c); }
constexpr uint8_t ColorG(uint32_t c) { return uint8_t(c >> 8); }
constexpr uint8_t ColorB(uint32_t c) { return uint8_t(c >> 16); }

// A colour as plain RGB (windowing encoding, top byte 0); system colours resolved.
// An index outside the table resolves to black.
uint32_t ColorToRGB(TColor c);

using TSysColorTable = std::array<uint32_t, kSysColorCount>;
// The deterministic table used until the host installs its own.
const TSysColorTable& DefaultSysColors();
TSysColorTable CurrentSysColors();
void SetSysColors(const TSysColorTable& table);
void SetSysColor(int index, uint32_t rgb);
void ResetSysColors();

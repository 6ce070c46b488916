// The colour palette: 65 RGB entries indexed by TExcelColor, one table for the whole process.
#pragma once

#include <cstdint>
#include <span>

namespace xls {

// One-byte palette index. Files may hold indexes above 64 (system colours); they are kept as read.
enum TExcelColor : uint8_t {
  xc0,
  xc1,
  xc2,
  xc3,
  xc4,
  xc5,
  xc6,
  xc7,
  xcBlack,
  xcWhite,
  xcRed,
  xcBrightGreen,
  xcBlue,
  xcYellow,
  xcPink,
  xcTurquoise,
  xcDarkRed,
  xcGreen,
  xcDarkBlue,
  xcBrownGreen,
  xcViolet,
  xcBlueGreen,
  xcGray25,
  xcGray50,
  xc24,
  xc25,
  xc26,
  xc27,
  xc28,
  xc29,
  xc30,
  xc31,
  xc32,
  xc33,
  xc34,
  xc35,
  xc36,
  xc37,
  xc38,
  xc39,
  xcSky,
  xcPaleTurquois,
  xcPaleGreen,
  xcLightYellow,
  xcPaleSky,
  xcRose,
  xcLilac,
  xcLightBrown,
  xcDarkSky,
  xcDarkTurquois,
  xcGrass,
  xcGold,
  xcLightOrange,
  xcOrange,
  xcDarkBlueGray,
  xcGray40,
  xcDarkGreenGray,
  xcEmerald,
  xcDarkGreen,
  xcOlive,
  xcBrown,
  xcCherry,
  xcIndigo,
  xcGray80,
  xcAutomatic,
};

inline constexpr int kPaletteSize = 65;
// First palette entry a PALETTE record replaces, and the most colours one record may change.
inline constexpr int kPaletteFirstCustom = 8;
inline constexpr int kPaletteMaxCustom = kPaletteSize - kPaletteFirstCustom;

// Entries are 32-bit values with red in the low byte, then green, then blue; the high byte is 0.
uint32_t PaletteColor(int index);  // 0 for an index outside 0..64
void SetPaletteColor(int index, uint32_t rgb);
// Copies the default table into the process-wide palette (every new workbook does this).
void ResetPalette();
std::span<const uint32_t, kPaletteSize> DefaultPalette();

}  // namespace xls

#include "workbook/palette.h"

#include <array>

namespace xls {

namespace {

// RRGGBB as written in colour tables; converted to the in-memory byte order below.
constexpr uint32_t Rgb(uint32_t rrggbb) {
  return ((rrggbb >> 16) & 0xFF) | (rrggbb & 0xFF00) | ((rrggbb & 0xFF) << 16);
}

constexpr std::array<uint32_t, kPaletteSize> kDefaultPalette = {
    // 0..7 are all black, not copies of 8..15.
    Rgb(0x000000), Rgb(0x000000), Rgb(0x000000), Rgb(0x000000), Rgb(0x000000), Rgb(0x000000),
    Rgb(0x000000), Rgb(0x000000), Rgb(0x000000), Rgb(0xFFFFFF), Rgb(0xFF0000), Rgb(0x00FF00),
    Rgb(0x0000FF), Rgb(0xFFFF00), Rgb(0xFF00FF), Rgb(0x00FFFF), Rgb(0x800000), Rgb(0x008000),
    Rgb(0x000080), Rgb(0x808000), Rgb(0x800080), Rgb(0x008080), Rgb(0xC0C0C0), Rgb(0x808080),
    Rgb(0x9999FF), Rgb(0x993366), Rgb(0xFFFFCC), Rgb(0xCCFFFF), Rgb(0x660066), Rgb(0xFF8080),
    Rgb(0x0066CC), Rgb(0xCCCCFF), Rgb(0x000080), Rgb(0xFF00FF), Rgb(0xFFFF00), Rgb(0x00FFFF),
    Rgb(0x800080), Rgb(0x800000), Rgb(0x008080), Rgb(0x0000FF), Rgb(0x00CCFF), Rgb(0xCCFFFF),
    Rgb(0xCCFFCC), Rgb(0xFFFF99), Rgb(0x99CCFF), Rgb(0xFF99CC), Rgb(0xCC99FF), Rgb(0xFFCC99),
    Rgb(0x3366FF), Rgb(0x33CCCC), Rgb(0x99CC00), Rgb(0xFFCC00), Rgb(0xFF9900), Rgb(0xFF6600),
    Rgb(0x666699), Rgb(0x969696), Rgb(0x003366), Rgb(0x339966), Rgb(0x003300), Rgb(0x333300),
    Rgb(0x993300), Rgb(0x993366), Rgb(0x333399), Rgb(0x333333), Rgb(0xFFFFFF),
};

std::array<uint32_t, kPaletteSize> g_palette = kDefaultPalette;

}  // namespace

uint32_t PaletteColor(int index) {
  if (index < 0 || index >= kPaletteSize) return 0;
  return g_palette[index];
}

void SetPaletteColor(int index, uint32_t rgb) {
  if (index < 0 || index >= kPaletteSize) return;
  g_palette[index] = rgb & 0x00FFFFFF;
}

void ResetPalette() {
  g_palette = kDefaultPalette;
}

std::span<const uint32_t, kPaletteSize> DefaultPalette() {
  return kDefaultPalette;
}

}  // namespace xls

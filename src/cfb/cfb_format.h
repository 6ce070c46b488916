// Layout constants of the compound file format and the name order of its directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace xls::cfb {

inline constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
inline constexpr size_t kHeaderSize = 512;
inline constexpr uint16_t kByteOrderMark = 0xFFFE;
inline constexpr uint16_t kMinorVersion = 0x003E;

// Sector numbers with a special meaning in the FAT, the DIFAT and the directory.
inline constexpr uint32_t kMaxRegSect = 0xFFFFFFFA;
inline constexpr uint32_t kDifSect = 0xFFFFFFFC;
inline constexpr uint32_t kFatSect = 0xFFFFFFFD;
inline constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr uint32_t kFreeSect = 0xFFFFFFFF;
inline constexpr uint32_t kNoStream = 0xFFFFFFFF;  // directory link "none"

inline constexpr size_t kHeaderDifatEntries = 109;
inline constexpr size_t kMiniSectorSize = 64;
inline constexpr uint16_t kMiniSectorShift = 6;
inline constexpr uint64_t kMiniStreamCutoff = 4096;
inline constexpr size_t kDirEntrySize = 128;
inline constexpr size_t kMaxNameChars = 31;  // without the terminating zero

// Header field offsets.
inline constexpr size_t kOffMinorVersion = 0x18;
inline constexpr size_t kOffMajorVersion = 0x1A;
inline constexpr size_t kOffByteOrder = 0x1C;
inline constexpr size_t kOffSectorShift = 0x1E;
inline constexpr size_t kOffMiniSectorShift = 0x20;
inline constexpr size_t kOffNumDirSectors = 0x28;
inline constexpr size_t kOffNumFatSectors = 0x2C;
inline constexpr size_t kOffFirstDirSector = 0x30;
inline constexpr size_t kOffMiniStreamCutoff = 0x38;
inline constexpr size_t kOffFirstMiniFatSector = 0x3C;
inline constexpr size_t kOffNumMiniFatSectors = 0x40;
inline constexpr size_t kOffFirstDifatSector = 0x44;
inline constexpr size_t kOffNumDifatSectors = 0x48;
inline constexpr size_t kOffHeaderDifat = 0x4C;

// Directory entry field offsets.
inline constexpr size_t kDirOffNameLength = 0x40;
inline constexpr size_t kDirOffType = 0x42;
inline constexpr size_t kDirOffColor = 0x43;
inline constexpr size_t kDirOffLeft = 0x44;
inline constexpr size_t kDirOffRight = 0x48;
inline constexpr size_t kDirOffChild = 0x4C;
inline constexpr size_t kDirOffClsid = 0x50;
inline constexpr size_t kDirOffStateBits = 0x60;
inline constexpr size_t kDirOffStartSector = 0x74;
inline constexpr size_t kDirOffSize = 0x78;

enum DirEntryType : uint8_t {
  kTypeUnused = 0,
  kTypeStorage = 1,
  kTypeStream = 2,
  kTypeRoot = 5,
};
enum DirEntryColor : uint8_t { kRed = 0, kBlack = 1 };

// Upper case of one UTF-16 code unit by the simple case mapping of the letters a directory name
// can reasonably hold (Latin, Greek, Cyrillic, full-width Latin).
char16_t UpperCaseUnit(char16_t c);

// The name upper-cased unit by unit: equal keys for names the directory treats as equal.
std::u16string UpperCaseName(std::u16string_view name);

// The directory's order: a shorter name sorts first; names of equal length compare code unit by
// code unit after upper-casing. Returns <0, 0 or >0.
int CompareNames(std::u16string_view a, std::u16string_view b);

}  // namespace xls::cfb

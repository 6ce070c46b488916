// FONT, FORMAT, XF and PALETTE bodies of workbooks written by other programs: decoded and encoded
// again, compared with the bytes of the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "biff/biff_recs.h"
#include "biff/xls_stream.h"
#include "platform/codec.h"
#include "platform/error.h"
#include "workbook/format_records.h"

namespace xls {
namespace {

namespace fs = std::filesystem;

struct GlobalRecord {
  uint16_t id;
  Bytes body;
};

// The records of the globals substream up to its EOF; empty for encrypted or unreadable files.
std::vector<GlobalRecord> Globals(const fs::path& path, TExcelVersion& version) {
  std::vector<GlobalRecord> out;
  TXLSStream s;
  try {
    version = s.OpenRead(Utf8ToUtf16(path.string()));
  } catch (const EXLSError&) {
    return {};
  }
  if (version < xvExcel50) return {};
  TBIFFHeader h;
  while (s.ReadHeader(h) == kRecordHeaderSize) {
    Bytes body(h.Length);
    if (h.Length && s.Read(body.data(), h.Length) != h.Length) break;
    if (h.RecID == BIFFRECID_FILEPASS) return {};
    out.push_back({h.RecID, std::move(body)});
    if (h.RecID == BIFFRECID_EOF) break;
  }
  return out;
}

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> files;
  const fs::path dir(XLSB_CORPUS_DIR);
  if (!fs::is_directory(dir)) return files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string ext = e.path().extension().string();
    if (e.is_regular_file() && (ext == ".xls" || ext == ".XLS")) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(FormatRecordsCorpus, DecodeAndEncodeAgain) {
  const auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus not found at " << XLSB_CORPUS_DIR;
  int fontsChecked = 0, xfsChecked = 0, formatsChecked = 0, palettes = 0, biff5Files = 0;
  for (const fs::path& path : files) {
    TExcelVersion version = xvNone;
    const auto recs = Globals(path, version);
    if (recs.empty()) continue;
    biff5Files += version == xvExcel50;
    SCOPED_TRACE(path.string());
    TXFonts fonts;
    TCellFormats formats(fonts);
    formats.NumberFormats().AddBuiltInFormats();
    for (const GlobalRecord& r : recs) {
      switch (r.id) {
        case BIFFRECID_FONT: {
          ReadFontRecord(fonts, r.body, version);
          const TXFont& f = *fonts.FontAt(fonts.Count() == 5 ? 3 : fonts.Count() - 1);
          const Bytes again = FontRecordBody(f, version);
          // Height, colour, escapement, underline, family, charset: as in the file; the option
          // word keeps italic and strikeout, the weight becomes 400 or 700.
          ASSERT_GE(r.body.size(), 15u);
          EXPECT_EQ(GetU16(&again[0]), GetU16(&r.body[0]));
          EXPECT_EQ(GetU16(&again[2]), GetU16(&r.body[2]) & 0x000A);
          if (GetU16(&r.body[4]) < 256) {
            EXPECT_EQ(GetU16(&again[4]), GetU16(&r.body[4]));
          }
          EXPECT_EQ(GetU16(&again[6]), GetU16(&r.body[6]) >= 700 ? 700 : 400);
          // Byte 13 is reserved and written as 0.
          EXPECT_EQ(Bytes(again.begin() + 8, again.begin() + 13),
                    Bytes(r.body.begin() + 8, r.body.begin() + 13));
          EXPECT_EQ(again[14], r.body[14]);
          if (version == xvExcel97 && r.body[15] == 1) {
            Bytes b = r.body;
            PutU16(&b[2], GetU16(&b[2]) & 0x000A);
            PutU16(&b[6], GetU16(&b[6]) >= 700 ? 700 : 400);
            if (GetU16(&b[4]) >= 256) PutU16(&b[4], xcBlack);
            b[13] = 0;
            EXPECT_EQ(again, b);
          }
          ++fontsChecked;
          break;
        }
        case BIFFRECID_FORMAT: {
          ReadFormatRecord(formats.NumberFormats(), r.body, version);
          const int id = GetU16(r.body.data());
          const TNumberFormat& f = formats.NumberFormats().FormatById(id);
          // Encoded (16-bit characters for BIFF8) and decoded again: the same text.
          TNumberFormats back;
          ReadFormatRecord(back, FormatRecordBody(f, version), version);
          EXPECT_EQ(back.FormatText(id), f.Text);
          if (version == xvExcel97 && r.body[4] == 1) {
            EXPECT_EQ(FormatRecordBody(f, version), r.body);
          }
          ++formatsChecked;
          break;
        }
        case BIFFRECID_XF: {
          TCellFormat* f = ReadXFRecord(formats, r.body, version);
          Bytes again(version == xvExcel97 ? kXFBodySize8 : kXFBodySize5);
          if (version == xvExcel97) {
            f->SaveXF8(again.data());
          } else {
            f->SaveXF5(again.data());
            // Bits the BIFF8 form has no place for are not kept.
            Bytes masked = r.body;
            PutU32(&masked[8], GetU32(&masked[8]) & ~0x0000C000u);
            PutU32(&masked[12], GetU32(&masked[12]) & ~0xC0000000u);
            EXPECT_EQ(again, Bytes(masked.begin(), masked.begin() + kXFBodySize5));
            ++xfsChecked;
            break;
          }
          EXPECT_EQ(again, Bytes(r.body.begin(), r.body.begin() + kXFBodySize8));
          ++xfsChecked;
          break;
        }
        case BIFFRECID_PALETTE: {
          ReadPaletteRecord(r.body);
          if (GetU16(r.body.data()) == 56) {
            EXPECT_EQ(PaletteRecordBody(), r.body);
          }
          ++palettes;
          break;
        }
        default:
          break;
      }
    }
  }
  ResetPalette();
  EXPECT_GT(fontsChecked, 100);
  EXPECT_GT(xfsChecked, 500);
  EXPECT_GT(formatsChecked, 50);
  EXPECT_GT(biff5Files, 0);
  std::printf("corpus: %d FONT, %d FORMAT, %d XF, %d PALETTE records; %d BIFF5 files\n",
              fontsChecked, formatsChecked, xfsChecked, palettes, biff5Files);
}

}  // namespace
}  // namespace xls

// FONT, FORMAT, XF, STYLE and PALETTE record bodies: decoding into the formatting tables and
// encoding them back, in the BIFF8, BIFF5 and BIFF4 forms.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "biff/excel_version.h"
#include "platform/bytes.h"
#include "workbook/cell_formats.h"

namespace xls {

struct TBiffRecord {
  uint16_t Id = 0;
  Bytes Body;
};

// Appends a font from a FONT body; when the list then holds four fonts a placeholder is appended at
// position 4, so that list positions equal file font indexes.
void ReadFontRecord(TXFonts& fonts, std::span<const uint8_t> body, TExcelVersion version);
Bytes FontRecordBody(const TXFont& font, TExcelVersion version);
// One FONT record per list position except 4.
std::vector<TBiffRecord> FontRecords(const TXFonts& fonts, TExcelVersion version);

// Sets the text of the id (replacing an existing entry) with one use.
void ReadFormatRecord(TNumberFormats& formats, std::span<const uint8_t> body,
                      TExcelVersion version);
Bytes FormatRecordBody(const TNumberFormat& format, TExcelVersion version);
// One FORMAT record per entry from position 1 whose usage count is not negative.
std::vector<TBiffRecord> FormatRecords(const TNumberFormats& formats, TExcelVersion version);

// Appends a cell format: BIFF8 through LoadXF8, BIFF5 through LoadXF5, older as a default format.
TCellFormat* ReadXFRecord(TCellFormats& formats, std::span<const uint8_t> body,
                          TExcelVersion version);
TBiffRecord XFRecord(const TCellFormat& format, TExcelVersion version);
std::vector<TBiffRecord> XFRecords(const TCellFormats& formats, TExcelVersion version);

// The six built-in styles when defaultStyles is set, else one record per entry of styles.
std::vector<TBiffRecord> StyleRecords(const TStyles& styles, bool defaultStyles);

// Colours from index 8 upward; at most 57 are used.
void ReadPaletteRecord(std::span<const uint8_t> body);
// The current palette entries 8..63 (56 colours).
Bytes PaletteRecordBody();

}  // namespace xls

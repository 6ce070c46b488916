// The default printer's paper size as a Windows paper size code: the media of the CUPS default
// destination when CUPS answers, else 9 (A4).
#pragma once

#include <cstdint>
#include <string_view>

namespace xls {

uint8_t DefaultPrinterPaperSize();
// "A4" → 9, "Letter"/"na_letter_8.5x11in" → 1 and so on; 0 when the name is not known.
uint8_t PaperSizeFromMediaName(std::string_view media);

}  // namespace xls

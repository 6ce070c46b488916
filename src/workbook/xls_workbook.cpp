#include "workbook/xls_workbook.h"

#include <cmath>

#include "biff/xls_reader.h"
#include "biff/xls_writer.h"
#include "platform/error.h"
#include "platform/message_handler.h"
#include "platform/paper_size.h"
#include "workbook/palette.h"

namespace xls {

namespace {

// WINDOW1 layout.
constexpr size_t kWin1Left = 0, kWin1Top = 2, kWin1Width = 4, kWin1Height = 6, kWin1Options = 8,
                 kWin1SelectedTab = 10;

struct TFlag {
  TWorkbookOption option;
  uint16_t bit;
};
constexpr TFlag kWorkbookFlags[] = {
    {woHidden, 0x01}, {woIconized, 0x02}, {woHScroll, 0x08}, {woVScroll, 0x10}, {woTabs, 0x20}};

constexpr int32_t kMaxRecordLength8 = 8224;
constexpr int32_t kMaxRecordLength5 = 2080;

}  // namespace

// ---------------------------------------------------------------------------------------------
// TWorkbookData

uint16_t TWorkbookData::Left() const {
  return globals_.WINDOW1().U16At(kWin1Left);
}
void TWorkbookData::SetLeft(uint16_t v) {
  globals_.WINDOW1().SetU16At(kWin1Left, v);
}
uint16_t TWorkbookData::Top() const {
  return globals_.WINDOW1().U16At(kWin1Top);
}
void TWorkbookData::SetTop(uint16_t v) {
  globals_.WINDOW1().SetU16At(kWin1Top, v);
}
uint16_t TWorkbookData::Width() const {
  return globals_.WINDOW1().U16At(kWin1Width);
}
void TWorkbookData::SetWidth(uint16_t v) {
  globals_.WINDOW1().SetU16At(kWin1Width, v);
}
uint16_t TWorkbookData::Height() const {
  return globals_.WINDOW1().U16At(kWin1Height);
}
void TWorkbookData::SetHeight(uint16_t v) {
  globals_.WINDOW1().SetU16At(kWin1Height, v);
}
uint16_t TWorkbookData::SelectedTab() const {
  return globals_.WINDOW1().U16At(kWin1SelectedTab);
}
void TWorkbookData::SetSelectedTab(uint16_t v) {
  globals_.WINDOW1().SetU16At(kWin1SelectedTab, v);
}

TWorkbookOptions TWorkbookData::Options() const {
  TWorkbookOptions out;
  const uint16_t word = globals_.WINDOW1().U16At(kWin1Options);
  for (const TFlag& f : kWorkbookFlags)
    if (word & f.bit) out.Include(f.option);
  return out;
}

void TWorkbookData::SetOptions(TWorkbookOptions v) {
  uint16_t word = 0;
  for (const TFlag& f : kWorkbookFlags)
    if (v.Contains(f.option)) word |= f.bit;
  globals_.WINDOW1().SetU16At(kWin1Options, word);
}

TShowObjects TOptionsDialog::ShowObjects() const {
  const uint16_t v = globals_.HIDEOBJ();
  return v <= 2 ? static_cast<TShowObjects>(v) : soShowAll;
}

// ---------------------------------------------------------------------------------------------
// TXLSWorkbook

TXLSWorkbook::TXLSWorkbook()
    : defaultPaperSize_((ResetPalette(), DefaultPrinterPaperSize())),
      workbookData_(globals_),
      optionsDialog_(globals_),
      formats_(fonts_) {
  globals_.SetDefaultData();
  workbookData_.SetOptions({woHScroll, woVScroll, woTabs});
  workbookData_.SetTop(100);
  workbookData_.SetLeft(100);
  workbookData_.SetWidth(10000);
  workbookData_.SetHeight(7000);
  optionsDialog_.CalcMode = cmAutomatic;
  fonts_.AddDefaultFonts();
  formats_.ResetFormats();
  defaultFormat_ = formats_.FormatAt(kDefaultCellXF);
  sheets_ = std::make_unique<TSheets>(*this);
  sheets_->Add();
  CalcOptionsFromFirstSheet();
  SetVersion(xvExcel97);
}

TXLSWorkbook::~TXLSWorkbook() {
  // Sheets hold uses of the shared formats and strings: they go first.
  sheets_.reset();
}

void TXLSWorkbook::SetVersion(TExcelVersion v) {
  version_ = v;
  maxRecordLength_ = v < xvExcel97 ? kMaxRecordLength5 : kMaxRecordLength8;
  sheets_->SetMaxRecordLength(maxRecordLength_);
}

TXFont* TXLSWorkbook::Font() {
  if (fonts_.Count() == 0) {
    ShowEngineMessage(u"No Fonts");
    return nullptr;
  }
  return fonts_.FontAt(0);
}

void TXLSWorkbook::SetFont(const TXFont& font) {
  if (fonts_.Count() == 0) {
    ShowEngineMessage(u"No Fonts");
    return;
  }
  fonts_.FontAt(0)->Assign(font);
}

void TXLSWorkbook::ClearWorkbook() {
  globals_.SetDefaultData();
  defaultStyles_ = true;
  sheets_->RemoveAll();  // no sheet may hold a use of a format while the lists are rebuilt
  formats_.Clear();
  fonts_.Clear();
  fonts_.AddDefaultFonts();
  formats_.ResetFormats();
  defaultFormat_ = formats_.FormatAt(kDefaultCellXF);
  sheets_->Add();
  styles_.Clear();
  extraObjects_.Clear();
  chartSheets_.clear();
}

void TXLSWorkbook::ReadStream(TByteStream* source) {
  ClearWorkbook();
  sheets_->RemoveAll();
  formats_.Clear();
  fonts_.Clear();
  formats_.NumberFormats().AddBuiltInFormats();
  defaultFormat_ = nullptr;
  sheets_->SST().BeginLoad();
  try {
    TXLSReader reader(*this);
    reader.ReadWorkbook(source);
  } catch (...) {
    sheets_->SST().EndLoad();
    // A failed read leaves what the reader built; the default format must still be valid.
    if (formats_.Count() > 0)
      defaultFormat_ = formats_.FormatAt(formats_.Count() > kDefaultCellXF ? kDefaultCellXF : 0);
    throw;
  }
  sheets_->SST().EndLoad();
  defaultFormat_ = formats_.Count() == 0
                       ? nullptr
                       : formats_.FormatAt(formats_.Count() > kDefaultCellXF ? kDefaultCellXF : 0);
  CalcOptionsFromFirstSheet();
  for (int i = 0; i < sheets_->Count(); ++i) sheets_->Items(i).Rows().SortRows();
}

void TXLSWorkbook::WriteStream(TByteStream* target) {
  if (version_ == xvExcel21 || version_ == xvExcel30) {
    // Nothing can be written in these versions: say so and write nothing.
    ShowEngineMessage(u"Can not write Excel 2.1/3.0 files");
    Raise("Can not write Excel 2.1/3.0 files");
  }
  if (OnProgress) {
    OnProgress(*this, 0);
    progressCounter_ = 0;
    lastProgress_ = 0;
    // The writer advances the counter by cells, so the total counts cells too.
    progressTotal_ = 0;
    for (int i = 0; i < sheets_->Count(); ++i) {
      TCellStorage& cells = sheets_->Items(i).Cells();
      cells.BeginIterate();
      while (cells.NextCell()) ++progressTotal_;
    }
  }
  CalcOptionsToSheets();
  {
    TXLSWriter writer(*this);
    if (version_ < xvExcel50)
      writer.WriteBIFF4(target);
    else
      writer.WriteBIFF8(target);
  }
  if (OnProgress) OnProgress(*this, 100);
}

void TXLSWorkbook::AdvanceProgress(int cells) {
  if (!OnProgress || progressTotal_ <= 0) return;
  progressCounter_ += cells;
  int percent = static_cast<int>(std::lround(100.0 * static_cast<double>(progressCounter_) /
                                             static_cast<double>(progressTotal_)));
  if (percent > 100) percent = 100;
  if (percent != lastProgress_) {
    lastProgress_ = percent;
    OnProgress(*this, percent);
  }
}

void TXLSWorkbook::CalcOptionsFromFirstSheet() {
  if (sheets_->Count() == 0) return;
  const TRecordStorageSheet& r = sheets_->Items(0).Records();
  switch (static_cast<int16_t>(r.CALCMODE())) {
    case 0:
      optionsDialog_.CalcMode = cmManual;
      break;
    case 1:
      optionsDialog_.CalcMode = cmAutomatic;
      break;
    case -1:
      optionsDialog_.CalcMode = cmAutoExTables;
      break;
    default:
      break;
  }
  optionsDialog_.CalcCount = r.CALCCOUNT();
  optionsDialog_.Delta = r.DELTA();
  optionsDialog_.R1C1Mode = r.REFMODE() == 0;
  optionsDialog_.Iteration = r.ITERATION();
  optionsDialog_.SaveRecalc = r.SAVERECALC();
}

void TXLSWorkbook::CalcOptionsToSheets() {
  for (int i = 0; i < sheets_->Count(); ++i) {
    TRecordStorageSheet& r = sheets_->Items(i).Records();
    switch (optionsDialog_.CalcMode) {
      case cmManual:
        r.SetCALCMODE(0);
        break;
      case cmAutomatic:
        r.SetCALCMODE(1);
        break;
      case cmAutoExTables:
        r.SetCALCMODE(0xFFFF);
        break;
    }
    r.SetCALCCOUNT(optionsDialog_.CalcCount);
    r.SetREFMODE(optionsDialog_.R1C1Mode ? 0 : 1);
    r.SetITERATION(optionsDialog_.Iteration);
    r.SetSAVERECALC(optionsDialog_.SaveRecalc);
  }
}

int TXLSWorkbook::SheetIndexByName(std::u16string_view name, int& sheetCount) const {
  const TSheet* sheet = sheets_->Find(name);
  if (!sheet) {
    sheetCount = 0;
    return -1;
  }
  sheetCount = sheets_->Count();
  return sheet->Index();
}

std::u16string TXLSWorkbook::TextProvider(int kind, int sheetIndex, int col, int row) {
  if (sheetIndex < 0 || sheetIndex >= sheets_->Count()) return {};
  TSheet& sheet = sheets_->Items(sheetIndex);
  if (kind == 0) return sheet.Name();
  return sheet.CellText(col, row);
}

}  // namespace xls

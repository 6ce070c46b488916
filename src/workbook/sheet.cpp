#include "workbook/sheet.h"

#include "platform/codec.h"
#include "platform/error.h"
#include "platform/message_handler.h"
#include "workbook/number_render.h"
#include "workbook/xls_fonts.h"
#include "workbook/xls_workbook.h"

namespace xls {

namespace {

// SETUP layout.
constexpr size_t kSetupPaper = 0, kSetupScale = 2, kSetupStart = 4, kSetupOptions = 10,
                 kSetupResolution = 12, kSetupHeaderMargin = 16, kSetupFooterMargin = 24,
                 kSetupCopies = 32;
// DIMENSIONS layout (BIFF8).
constexpr size_t kDimFirstRow = 0, kDimLastRow1 = 4, kDimFirstCol = 8, kDimLastCol1 = 10;
// WINDOW2 layout.
constexpr size_t kWin2Options = 0, kWin2ZoomPreview = 10, kWin2Zoom = 12;
constexpr uint16_t kWin2BaseOptions = 0x04A0;

struct TFlag {
  int option;
  uint16_t bit;
};
constexpr TFlag kSheetOptionFlags[] = {{soShowFormulas, 0x0001},
                                       {soGridlines, 0x0002},
                                       {soRowColHeadings, 0x0004},
                                       {soFrozenPanes, 0x0008},
                                       {soShowZeros, 0x0010}};
constexpr TFlag kWorkspaceFlags[] = {{woShowAutoBreaks, 0x0001}, {woApplyStyles, 0x0020},
                                     {woRowSumsBelow, 0x0040},   {woColSumsRight, 0x0080},
                                     {woFitToPage, 0x0100},      {woOutlineSymbols, 0x0400}};
constexpr TFlag kPrintSetupFlags[] = {{psoLeftToRight, 0x0001},
                                      {psoPortrait, 0x0002},
                                      {psoNoColor, 0x0008},
                                      {psoDraftQuality, 0x0010},
                                      {psoNotes, 0x0020}};

}  // namespace

// ---------------------------------------------------------------------------------------------
// TPrintSettings

TPrintSettings::TPrintSettings(TSheet& sheet) : sheet_(sheet) {}

TPaperSize TPrintSettings::PaperSize() const {
  return static_cast<TPaperSize>(sheet_.Records().SETUP().U16At(kSetupPaper) & 0xFF);
}
void TPrintSettings::SetPaperSize(TPaperSize v) {
  sheet_.Records().SETUP().SetU16At(kSetupPaper, v);
}
uint16_t TPrintSettings::ScalingFactor() const {
  return sheet_.Records().SETUP().U16At(kSetupScale);
}
void TPrintSettings::SetScalingFactor(uint16_t v) {
  sheet_.Records().SETUP().SetU16At(kSetupScale, v);
}
uint16_t TPrintSettings::StartingPage() const {
  return sheet_.Records().SETUP().U16At(kSetupStart);
}
void TPrintSettings::SetStartingPage(uint16_t v) {
  sheet_.Records().SETUP().SetU16At(kSetupStart, v);
}
uint16_t TPrintSettings::Copies() const {
  return sheet_.Records().SETUP().U16At(kSetupCopies);
}
void TPrintSettings::SetCopies(uint16_t v) {
  sheet_.Records().SETUP().SetU16At(kSetupCopies, v);
}
uint16_t TPrintSettings::Resolution() const {
  return sheet_.Records().SETUP().U16At(kSetupResolution);
}
void TPrintSettings::SetResolution(uint16_t v) {
  sheet_.Records().SETUP().SetU16At(kSetupResolution, v);
}
double TPrintSettings::HeaderMargin() const {
  return sheet_.Records().SETUP().F64At(kSetupHeaderMargin);
}
void TPrintSettings::SetHeaderMargin(double v) {
  sheet_.Records().SETUP().SetF64At(kSetupHeaderMargin, v);
}
double TPrintSettings::FooterMargin() const {
  return sheet_.Records().SETUP().F64At(kSetupFooterMargin);
}
void TPrintSettings::SetFooterMargin(double v) {
  sheet_.Records().SETUP().SetF64At(kSetupFooterMargin, v);
}

TPrintSetupOptions TPrintSettings::Options() const {
  TPrintSetupOptions out;
  const uint16_t word = sheet_.Records().SETUP().U16At(kSetupOptions);
  for (const TFlag& f : kPrintSetupFlags)
    if (word & f.bit) out.Include(static_cast<TPrintSetupOption>(f.option));
  const TRecordStorageSheet& r = sheet_.Records();
  if (r.PRINTHEADERS()) out.Include(psoRowColHeading);
  if (r.PRINTGRIDLINES()) out.Include(psoGridlines);
  if (r.HCENTER()) out.Include(psoHorizCenter);
  if (r.VCENTER()) out.Include(psoVertCenter);
  return out;
}

void TPrintSettings::SetOptions(TPrintSetupOptions v) {
  uint16_t word = 0;
  for (const TFlag& f : kPrintSetupFlags)
    if (v.Contains(static_cast<TPrintSetupOption>(f.option))) word |= f.bit;
  TRecordStorageSheet& r = sheet_.Records();
  r.SETUP().SetU16At(kSetupOptions, word);
  r.SetPRINTHEADERS(v.Contains(psoRowColHeading));
  r.SetPRINTGRIDLINES(v.Contains(psoGridlines));
  r.SetHCENTER(v.Contains(psoHorizCenter));
  r.SetVCENTER(v.Contains(psoVertCenter));
}

void TPrintSettings::Reset() {
  SetStartingPage(1);
  SetOptions({psoPortrait});
  MarginLeft = MarginRight = MarginTop = MarginBottom = -1;
  HorizPagebreaks.clear();
  VertPagebreaks.clear();
}

// ---------------------------------------------------------------------------------------------
// TPane

void TPane::SetActivePane(uint8_t v) {
  if (v > 3) Raise("Value out of range");
  activePane_ = v;
}

void TPane::Clear() {
  PaneType = ptNone;
  SplitColX = SplitRowY = LeftCol = TopRow = 0;
  activePane_ = 3;
  Selections.clear();
}

// ---------------------------------------------------------------------------------------------
// TSheet

TSheet::TSheet(TSheets& owner, int itemNumber)
    : owner_(owner),
      formats_(owner.Workbook().CellFormats()),
      itemNumber_(itemNumber),
      applyFormat_(formats_, cells_),
      columns_(formats_, &applyFormat_),
      rows_(formats_, &applyFormat_),
      printSettings_(*this) {
  records_.SetDefaultData();
  printSettings_.Reset();
  printSettings_.SetPaperSize(owner.Workbook().DefaultPaperSize());
}

TSheet::~TSheet() {
  // Cells and column/row formats hold uses of shared formats: release them before the lists go.
  cells_.ClearCells();
  columns_.ClearColumns();
  rows_.Clear();
}

TXLSWorkbook& TSheet::Workbook() const {
  return owner_.Workbook();
}

int TSheet::Index() const {
  return owner_.IndexOf(*this);
}

void TSheet::SetName(const std::u16string& name) {
  const std::u16string key = FontNameLower(name);
  for (int i = 0; i < owner_.Count(); ++i) {
    if (FontNameLower(owner_.Items(i).Name()) == key) {
      ShowEngineMessage(u"Sheet name \"" + name + u"\" allready exists");
      return;
    }
  }
  name_ = name;
}

void TSheet::Store(int col, int row, TCellPtr cell) {
  cells_.SetCell(MakeCellKey(col, row), std::move(cell));
}

void TSheet::AddBlankCell(int col, int row, int xf) {
  Store(col, row, cells_.NewCell<TBlankCell>(formats_, MakeCellKey(col, row), xf));
}

void TSheet::AddBooleanCell(int col, int row, int xf, bool value) {
  Store(col, row, cells_.NewCell<TBooleanCell>(formats_, MakeCellKey(col, row), value ? 1 : 0, xf));
}

void TSheet::AddErrorCell(int col, int row, int xf, TCellError error) {
  Store(col, row, cells_.NewCell<TErrorCell>(formats_, MakeCellKey(col, row), error, xf));
}

void TSheet::AddFloatCell(int col, int row, int xf, double value) {
  Store(col, row, cells_.NewCell<TFloatCell>(formats_, MakeCellKey(col, row), value, xf));
}

void TSheet::AddSSTCell(int col, int row, int xf, int sstIndex) {
  TSSTEntry* entry = owner_.SST().Items(sstIndex);
  Store(col, row, cells_.NewCell<TStringCell>(formats_, MakeCellKey(col, row), entry, xf));
  entry->AddRef();
}

void TSheet::AddTextCell(int col, int row, int xf, std::u16string_view text) {
  TSSTEntry* entry = owner_.SST().AddString(text);
  Store(col, row, cells_.NewCell<TStringCell>(formats_, MakeCellKey(col, row), entry, xf));
}

void TSheet::AddNumberFormulaCell(int col, int row, int xf, std::span<const uint8_t> tokens,
                                  double result, std::span<const uint8_t> extra) {
  auto cell = cells_.NewCell<TNumberFormulaCell>(
      formats_, MakeCellKey(col, row), static_cast<uint32_t>(tokens.size()), tokens.data(), xf);
  cell->Result = result;
  if (!extra.empty()) cell->SetExtraData(extra);
  Store(col, row, std::move(cell));
}

void TSheet::AddStringFormulaCell(int col, int row, int xf, std::span<const uint8_t> tokens,
                                  const std::u16string& result, std::span<const uint8_t> extra) {
  auto cell = cells_.NewCell<TStringFormulaCell>(
      formats_, MakeCellKey(col, row), static_cast<uint32_t>(tokens.size()), tokens.data(), xf);
  cell->Result = result;
  if (!extra.empty()) cell->SetExtraData(extra);
  Store(col, row, std::move(cell));
}

void TSheet::AddBooleanFormulaCell(int col, int row, int xf, std::span<const uint8_t> tokens,
                                   uint8_t result, std::span<const uint8_t> extra) {
  auto cell = cells_.NewCell<TBooleanFormulaCell>(
      formats_, MakeCellKey(col, row), static_cast<uint32_t>(tokens.size()), tokens.data(), xf);
  cell->Result = result;
  if (!extra.empty()) cell->SetExtraData(extra);
  Store(col, row, std::move(cell));
}

void TSheet::AddErrorFormulaCell(int col, int row, int xf, std::span<const uint8_t> tokens,
                                 uint8_t errorCode, std::span<const uint8_t> extra) {
  auto cell = cells_.NewCell<TErrorFormulaCell>(
      formats_, MakeCellKey(col, row), static_cast<uint32_t>(tokens.size()), tokens.data(), xf);
  cell->Result = CellErrorFromCode(errorCode);
  if (!extra.empty()) cell->SetExtraData(extra);
  Store(col, row, std::move(cell));
}

void TSheet::AddArrayFormulaCell(int col, int row, int xf, std::span<const uint8_t> tokens,
                                 std::span<const uint8_t> arrayBody, const uint8_t result[8],
                                 std::span<const uint8_t> extra) {
  auto cell = cells_.NewCell<TArrayFormulaCell>(
      formats_, MakeCellKey(col, row), static_cast<uint32_t>(arrayBody.size()), arrayBody.data(),
      static_cast<uint32_t>(tokens.size()), tokens.data(), xf);
  std::memcpy(cell->Result, result, 8);
  if (!extra.empty()) cell->SetExtraData(extra);
  Store(col, row, std::move(cell));
}

void TSheet::SetCellText(int col, int row, std::u16string_view text) {
  int xf = kDefaultCellXF;
  if (!cells_.FindCell(col, row)) {
    const TXLSColumn* column = columns_.ColumnAt(col);
    const TXLSRow* rowFormat = rows_.RowAt(row);
    if (column && column->XFIndex() != kDefaultCellXF)
      xf = column->XFIndex();
    else if (rowFormat && rowFormat->XFIndex() != kDefaultCellXF)
      xf = rowFormat->XFIndex();
  }
  // At an occupied position the storage gives the new cell the old cell's format.
  AddTextCell(col, row, xf, text);
}

std::u16string TSheet::NumberText(double v, int xf, bool formatted) {
  if (!formatted) return Utf8ToUtf16(GeneralText(v));
  return Utf8ToUtf16(FormatCellNumber(formats_, xf, v, owner_.Mask()));
}

std::u16string TSheet::Text(int col, int row, bool formatted) {
  TCell* cell = cells_.FindCell(col, row);
  if (!cell) return {};
  const TXLSWorkbook& wb = Workbook();
  switch (cell->CellKind()) {
    case ckFloat:
      return NumberText(static_cast<TFloatCell*>(cell)->Value, cell->XFIndex(), formatted);
    case ckString:
      return static_cast<TStringCell*>(cell)->Text();
    case ckBoolean:
      return static_cast<TBooleanCell*>(cell)->Value ? wb.StrTRUE : wb.StrFALSE;
    case ckError:
      return std::u16string(CellErrorText(static_cast<TErrorCell*>(cell)->Value));
    // Formula cells give their cached results.
    case ckNumberFormula:
      return NumberText(static_cast<TNumberFormulaCell*>(cell)->Result, cell->XFIndex(), formatted);
    case ckStringFormula:
      return static_cast<TStringFormulaCell*>(cell)->Result;
    case ckBooleanFormula:
      return static_cast<TBooleanFormulaCell*>(cell)->Result ? wb.StrTRUE : wb.StrFALSE;
    case ckErrorFormula:
      return std::u16string(CellErrorText(static_cast<TErrorFormulaCell*>(cell)->Result));
    case ckArrayFormula: {
      // The cached result in the FORMULA record's 8 bytes: a number, or a typed value marked by
      // 0xFFFF in the last two bytes.
      const uint8_t* r = static_cast<TArrayFormulaCell*>(cell)->Result;
      if (GetU16(r + 6) != 0xFFFF) return NumberText(GetF64(r), cell->XFIndex(), formatted);
      switch (r[0]) {
        case 0:
          return static_cast<TArrayFormulaCell*>(cell)->ResultText;
        case 1:
          return r[2] ? wb.StrTRUE : wb.StrFALSE;
        case 2:
          return std::u16string(CellErrorText(CellErrorFromCode(r[2])));
        default:
          return {};
      }
    }
    default:
      return {};
  }
}

std::u16string TSheet::CellText(int col, int row) {
  return Text(col, row, false);
}
std::u16string TSheet::FormattedText(int col, int row) {
  return Text(col, row, true);
}

int TSheet::FirstRow() const {
  return records_.DIMENSIONS().U32At(kDimFirstRow) & 0xFFFF;
}
void TSheet::SetFirstRow(int v) {
  records_.DIMENSIONS().SetU32At(kDimFirstRow, static_cast<uint32_t>(v));
}
int TSheet::LastRow() const {
  const auto last1 = static_cast<int32_t>(records_.DIMENSIONS().U32At(kDimLastRow1));
  return last1 <= 0 ? 0 : static_cast<uint16_t>(last1 - 1);
}
void TSheet::SetLastRow(int v) {
  records_.DIMENSIONS().SetU32At(kDimLastRow1, v == 0 ? 0 : static_cast<uint32_t>(v + 1));
}
int TSheet::FirstCol() const {
  return records_.DIMENSIONS().U16At(kDimFirstCol);
}
void TSheet::SetFirstCol(int v) {
  records_.DIMENSIONS().SetU16At(kDimFirstCol, static_cast<uint16_t>(v));
}
int TSheet::LastCol() const {
  const uint16_t last1 = records_.DIMENSIONS().U16At(kDimLastCol1);
  return last1 == 0 ? 0 : last1 - 1;
}
void TSheet::SetLastCol(int v) {
  records_.DIMENSIONS().SetU16At(kDimLastCol1, v == 0 ? 0 : static_cast<uint16_t>(v + 1));
}

void TSheet::UpdateDimensions() {
  cells_.CalcDimensions();
  SetFirstRow(cells_.FirstRow());
  SetLastRow(cells_.LastRow());
  SetFirstCol(cells_.FirstCol());
  SetLastCol(cells_.LastCol());
}

uint16_t TSheet::DefaultRowHeight() const {
  return records_.DEFAULTROWHEIGHT().U16At(2);
}
void TSheet::SetDefaultRowHeight(uint16_t v) {
  records_.DEFAULTROWHEIGHT().SetU16At(2, v);
}
uint16_t TSheet::Zoom() const {
  return records_.WINDOW2().U16At(kWin2Zoom);
}
void TSheet::SetZoom(uint16_t v) {
  records_.WINDOW2().SetU16At(kWin2Zoom, v);
}
uint16_t TSheet::ZoomPreview() const {
  return records_.WINDOW2().U16At(kWin2ZoomPreview);
}
void TSheet::SetZoomPreview(uint16_t v) {
  records_.WINDOW2().SetU16At(kWin2ZoomPreview, v);
}

TSheetOptions TSheet::Options() const {
  TSheetOptions out;
  const uint16_t word = records_.WINDOW2().U16At(kWin2Options);
  for (const TFlag& f : kSheetOptionFlags)
    if (word & f.bit) out.Include(static_cast<TSheetOption>(f.option));
  return out;
}

void TSheet::SetOptions(TSheetOptions v) {
  uint16_t word = kWin2BaseOptions;
  for (const TFlag& f : kSheetOptionFlags)
    if (v.Contains(static_cast<TSheetOption>(f.option))) word |= f.bit;
  records_.WINDOW2().SetU16At(kWin2Options, word);
}

TWorkspaceOptions TSheet::WorkspaceOptions() const {
  TWorkspaceOptions out;
  const uint16_t word = records_.WSBOOL();
  for (const TFlag& f : kWorkspaceFlags)
    if (word & f.bit) out.Include(static_cast<TWorkspaceOption>(f.option));
  return out;
}

void TSheet::SetWorkspaceOptions(TWorkspaceOptions v) {
  uint16_t word = 0;
  for (const TFlag& f : kWorkspaceFlags)
    if (v.Contains(static_cast<TWorkspaceOption>(f.option))) word |= f.bit;
  records_.SetWSBOOL(word);
}

void TSheet::Clear() {
  records_.SetDefaultData();
  ReadFromFile = false;
  printSettings_.Reset();
  columns_.ClearColumns();
  rows_.Clear();
  pane_.Clear();
  cells_.ClearCells();
}

// ---------------------------------------------------------------------------------------------
// TSheets

TSheets::TSheets(TXLSWorkbook& workbook) : workbook_(workbook), sst_(&workbook.Fonts()) {}

TSheets::~TSheets() {
  items_.clear();
}

TSheet& TSheets::Items(int index) const {
  if (index < 0 || index >= Count()) Raise(Format("List index out of bounds (%d)", index));
  return *items_[static_cast<size_t>(index)];
}

int TSheets::IndexOf(const TSheet& sheet) const {
  for (int i = 0; i < Count(); ++i)
    if (items_[static_cast<size_t>(i)].get() == &sheet) return i;
  return -1;
}

TSheet& TSheets::Add() {
  TSheet& sheet = AddNamed(u"");
  sheet.SetName(u"Sheet" + Utf8ToUtf16(std::to_string(sheet.ItemNumber() + 1)));
  return sheet;
}

TSheet& TSheets::AddNamed(const std::u16string& name) {
  items_.push_back(std::make_unique<TSheet>(*this, nextItemNumber_++));
  TSheet& sheet = *items_.back();
  if (!name.empty()) sheet.SetName(name);
  return sheet;
}

void TSheets::RemoveAll() {
  sst_.Clear();
  for (auto& sheet : items_) sheet->Clear();
  items_.clear();
}

void TSheets::Reset() {
  RemoveAll();
  Add();
}

TSheet* TSheets::Find(std::u16string_view name) const {
  const std::u16string key = FontNameLower(name);
  for (const auto& sheet : items_)
    if (FontNameLower(sheet->Name()) == key) return sheet.get();
  return nullptr;
}

}  // namespace xls

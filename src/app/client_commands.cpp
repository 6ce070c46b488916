#include "app/client_commands.h"

#include <exception>
#include <memory>

#include "app/data_module.h"
#include "app/dialogs.h"
#include "app/logic.h"
#include "platform/codec.h"
#include "workbook/xls_workbook.h"

namespace app {

const std::array<const char*, 21> kClientCaptions = {
    "部门",     "最后更新", "客户名称", "省份",     "地区",     "详细地址", "邮编",
    "联系人",   "职位",     "手机",     "联系电话", "传真号码", "企业网站", "客户邮箱",
    "产品分类", "产品小类", "客户类型", "客户级别", "客户来源", "主营项目", "备注其它"};

namespace {

// Fields of Client exported under the captions; column 0 stays empty.
const std::array<const char*, 21> kExportFields = {
    "",         "cLastUpdated", "cCompany", "cArea",  "cSquare", "cAddress",  "cZip",
    "cLinkman", "cZhiwei",      "cMobile",  "cTel",   "cFax",    "cHomepage", "cEmail",
    "cTrade",   "cStrade",      "cType",    "cStart", "cSource", "cInfo",     "cBeizhu"};

constexpr int kTemplateLastCol = 20;

std::string CellText(xls::TSheet& sheet, int col, int row) {
  return xls::Utf16ToUtf8(sheet.FormattedText(col, row));
}

}  // namespace

std::string SqlText(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

TImportOutcome Import(TDataModule1& dm, QWidget* owner, const std::string& fileName,
                      const std::string& salesperson) {
  TImportOutcome outcome;
  TStringList statements;
  // The database file has now(); SQL Server has GETDATE().
  const std::string currentTime = dm.Dialect() == TDialect::SqlServer ? "GETDATE()" : "now()";
  try {
    auto workbook = std::make_unique<xls::TXLSWorkbook>();
    workbook->Filename = xls::Utf8ToUtf16(fileName);
    workbook->ReadFile();
    xls::TSheet& sheet = workbook->Sheets().Items(0);
    const std::string h1 = Trim(CellText(sheet, 0, 0));
    const std::string h3 = Trim(CellText(sheet, 2, 0));
    if (sheet.LastCol() != kTemplateLastCol) {
      ShowMessageBox(
          owner, "Excel列数[" + std::to_string(sheet.LastCol() + 1) + "]和导入模板列数[21]不一致!",
          0);
      outcome.result = TCommandResult::Rejected;
      return outcome;
    }
    if (h1 != "部门") {
      ShowMessageBox(owner, "Excel第一列标题[" + h1 + "]和导入模板[部门]不一致!", 0);
      outcome.result = TCommandResult::Rejected;
      return outcome;
    }
    if (h3 != "客户名称" && h3 != "公司名称") {
      ShowMessageBox(owner, "Excel第三列标题[" + h3 + "]和导入模板第三列[客户名称]不一致!", 0);
      outcome.result = TCommandResult::Rejected;
      return outcome;
    }
    for (int r = sheet.FirstRow() + 1; r <= sheet.LastRow(); ++r) {
      std::array<std::string, 21> v;
      v[0] = CellText(sheet, 0, r);
      for (int c = 2; c <= kTemplateLastCol; ++c) v[static_cast<size_t>(c)] = CellText(sheet, c, r);
      const std::string& company = v[2];
      if (company.empty()) continue;
      if (dm.IsExitSQl("select  1 from Client where cCompany='" + SqlText(company) + "' "))
        continue;
      const std::string values[] = {v[2],  v[3],  v[4],  v[5],  v[7],        v[8],  v[9],
                                    v[6],  v[10], v[11], v[12], v[13],       v[14], v[15],
                                    v[16], v[17], v[18], v[19], salesperson, v[20]};
      std::string sql =
          " insert into "
          "Client(cdate,cYn,cCompany,cArea,cSquare,cAddress,cLinkman,cZhiwei,cMobile,cZip,cTel,"
          "cFax,cHomepage,cEmail,cTrade,cStrade,cType,cStart,cSource,cInfo,cUser,cBeizhu)"
          "values(" +
          currentTime + ",'1','";
      for (size_t i = 0; i < std::size(values); ++i) {
        if (i) sql += "','";
        sql += SqlText(values[i]);
      }
      sql += "')";
      statements.Add(sql);
    }
  } catch (const std::exception& e) {
    // The workbook could not be read: the engine's message, and nothing is written.
    Dialogs().ShowError(owner, e.what());
    outcome.result = TCommandResult::Failed;
    return outcome;
  }
  if (statements.Empty()) {
    ShowMessageBox(owner, "导入数据为空或者数据已被过滤!", 0);
    outcome.result = TCommandResult::Nothing;
    return outcome;
  }
  if (dm.UpdateSQlList(statements, 0) == 0) {
    ShowMessageBox(owner, "导入失败!", 0);
    outcome.result = TCommandResult::Failed;
    return outcome;
  }
  outcome.inserted = static_cast<int>(statements.Count());
  ShowMessageBox(owner, "导入成功" + std::to_string(outcome.inserted) + "条!", 0);
  outcome.result = TCommandResult::Done;
  return outcome;
}

TCommandResult Export(TDataModule1& dm, QWidget* owner, const std::string& path) {
  try {
    // The component lives for this command only.
    auto workbook = std::make_unique<xls::TXLSWorkbook>();
    workbook->Filename = xls::Utf8ToUtf16(path);
    xls::TSheet& sheet = workbook->Sheets().Items(0);
    for (int c = 0; c <= kTemplateLastCol; ++c)
      sheet.SetCellText(c, 0, xls::Utf8ToUtf16(kClientCaptions[static_cast<size_t>(c)]));
    const std::unique_ptr<TStringList> rows = dm.GetCommonList("select * from client");
    for (size_t i = 0; i < rows->Count(); ++i) {
      const TStringList* fields = rows->Objects(i);
      const int row = static_cast<int>(i) + 1;
      sheet.SetCellText(0, row, u"");
      for (int c = 1; c <= kTemplateLastCol; ++c) {
        const std::string value =
            fields ? fields->Values(kExportFields[static_cast<size_t>(c)]) : std::string();
        sheet.SetCellText(c, row, xls::Utf8ToUtf16(value));
      }
    }
    workbook->WriteFile();
  } catch (const std::exception& e) {
    Dialogs().ShowError(owner, e.what());
    return TCommandResult::Failed;
  }
  Dialogs().ShowPlainMessage(owner, "导出成功!");
  return TCommandResult::Done;
}

void WriteClientTemplate(const std::string& path) {
  xls::TXLSWorkbook workbook;
  workbook.Filename = xls::Utf8ToUtf16(path);
  xls::TSheet& sheet = workbook.Sheets().Items(0);
  for (int c = 0; c <= kTemplateLastCol; ++c)
    sheet.SetCellText(c, 0, xls::Utf8ToUtf16(kClientCaptions[static_cast<size_t>(c)]));
  workbook.WriteFile();
}

}  // namespace app

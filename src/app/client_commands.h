// The client commands shared by the window and the command line: import a filled-in template,
// export every client, write the empty template. Messages go through ShowMessageBox and TDialogs
// exactly as the window shows them.
#pragma once

#include <array>
#include <string>

class QWidget;

namespace app {

class TDataModule1;

// Captions of the 21 template columns, A to U.
extern const std::array<const char*, 21> kClientCaptions;

enum class TCommandResult {
  Done,      // the command did its work
  Nothing,   // nothing to import: every row empty or already there
  Rejected,  // the input did not pass a check (message shown)
  Failed,    // an error ended the command (message shown)
};

struct TImportOutcome {
  TCommandResult result = TCommandResult::Failed;
  int inserted = 0;
};

// Text as an SQL string literal's content: every single quote doubled.
std::string SqlText(const std::string& value);

// The import of one workbook for one salesperson (both as the window holds them).
TImportOutcome Import(TDataModule1& dm, QWidget* owner, const std::string& fileName,
                      const std::string& salesperson);
// Every client into a new workbook at path; "导出成功!" when written.
TCommandResult Export(TDataModule1& dm, QWidget* owner, const std::string& path);
// The empty template: the 21 captions in row 0 of 'Sheet1'. Raises xls::EXLSError on failure.
void WriteClientTemplate(const std::string& path);

}  // namespace app

// Shared settings values, the tool's message box and small text helpers.
#pragma once

#include <memory>
#include <string>

#include "app/string_list.h"
#include "platform/ini_file.h"

class QWidget;

namespace app {

// The settings of section "db" of tool.ini, read at start-up.
extern int db_type;
extern std::string db_name;
extern std::string db_ip;
extern std::string db_username;
extern std::string db_password;

// Caption of every box shown through ShowMessageBox.
extern const char* const MsgCaption;  // "系统提示"

// The settings file object kept for the life of the process (opened by start-up).
xls::TIniFile* Settings();
void OpenSettings(const std::string& path);
// Reads, in this order, db_type, db_name, db_ip, db_username and db_password of section "db"
// from the settings object into the shared values, each with its default.
void LoadSettings();

// The directory of the running executable, with a trailing '/'. Tests may replace it.
std::string ExeDir();
void SetExeDir(const std::string& dir);  // empty restores the real one

// Kinds: 0 information/OK, 1 question/OK, 2 question/Yes-No, 3 warning/OK, 4 error/OK. Returns
// 1 (OK), 6 (Yes) or 7 (No); any other kind shows nothing and returns 0.
int ShowMessageBox(QWidget* owner, const std::string& text, int kind);

// Pieces of text between separators; empty pieces are dropped.
std::unique_ptr<TStringList> SplitString(const std::string& text, const std::string& separator);
// Number of '.' bytes.
int CountDots(const std::string& text);
// Replaces every non-empty match of a Perl-compatible pattern, byte by byte. In the replacement
// "$n" and "${n}" insert group n and "$$" a dollar sign; everything else is literal. A pattern or
// replacement that does not compile leaves the subject unchanged.
std::string RegexReplace(const std::string& subject, const std::string& pattern,
                         const std::string& replacement);

// Removes leading and trailing blanks and control characters (bytes up to 0x20).
std::string Trim(const std::string& s);

}  // namespace app

#define PCRE2_CODE_UNIT_WIDTH 8
#include "app/logic.h"

#include <pcre2.h>
#include <unistd.h>

#include <climits>
#include <vector>

#include "app/dialogs.h"

namespace app {

int db_type = 2;
std::string db_name = "tavikjxc.dat";
std::string db_ip = "127.0.0.1,1433";
std::string db_username = "sa";
std::string db_password = "mbjt";

const char* const MsgCaption = "系统提示";

namespace {
std::unique_ptr<xls::TIniFile> g_settings;
std::string g_exeDir;
}  // namespace

xls::TIniFile* Settings() {
  return g_settings.get();
}
void OpenSettings(const std::string& path) {
  g_settings = std::make_unique<xls::TIniFile>(path);
}

void LoadSettings() {
  const xls::TIniFile* ini = g_settings.get();
  if (!ini) return;
  db_type = ini->ReadInteger("db", "db_type", 2);
  db_name = ini->ReadString("db", "db_name", "tavikjxc.dat");
  db_ip = ini->ReadString("db", "db_ip", "127.0.0.1,1433");
  db_username = ini->ReadString("db", "db_username", "sa");
  db_password = ini->ReadString("db", "db_password", "mbjt");
}

std::string ExeDir() {
  if (!g_exeDir.empty()) return g_exeDir;
  std::vector<char> buf(PATH_MAX + 1);
  const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  std::string path = n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : std::string();
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

void SetExeDir(const std::string& dir) {
  g_exeDir = dir;
  if (!g_exeDir.empty() && g_exeDir.back() != '/') g_exeDir += '/';
}

int ShowMessageBox(QWidget* owner, const std::string& text, int kind) {
  TMsgIcon icon;
  TMsgButtons buttons = TMsgButtons::OK;
  switch (kind) {
    case 0:
      icon = TMsgIcon::Information;
      break;
    case 1:
      icon = TMsgIcon::Question;
      break;
    case 2:
      icon = TMsgIcon::Question;
      buttons = TMsgButtons::YesNo;
      break;
    case 3:
      icon = TMsgIcon::Warning;
      break;
    case 4:
      icon = TMsgIcon::Error;
      break;
    default:
      return 0;
  }
  return Dialogs().MessageBox(owner, text, MsgCaption, icon, buttons);
}

std::unique_ptr<TStringList> SplitString(const std::string& text, const std::string& separator) {
  auto list = std::make_unique<TStringList>();
  std::string rest = text;
  while (!rest.empty()) {
    const size_t p = separator.empty() ? std::string::npos : rest.find(separator);
    if (p == std::string::npos) {
      list->Add(rest);
      rest.clear();
    } else if (p == 0) {
      rest.erase(0, separator.size());
    } else {
      list->Add(rest.substr(0, p));
      rest.erase(0, p + separator.size());
    }
  }
  return list;
}

int CountDots(const std::string& text) {
  int n = 0;
  for (char c : text) n += c == '.';
  return n;
}

std::string RegexReplace(const std::string& subject, const std::string& pattern,
                         const std::string& replacement) {
  int errorCode;
  PCRE2_SIZE errorOffset;
  pcre2_code* re = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), 0,
                                 &errorCode, &errorOffset, nullptr);
  if (!re) return subject;
  std::string out(subject.size() + replacement.size() + 64, '\0');
  PCRE2_SIZE outLen = out.size();
  const uint32_t options =
      PCRE2_SUBSTITUTE_GLOBAL | PCRE2_SUBSTITUTE_OVERFLOW_LENGTH | PCRE2_NOTEMPTY;
  auto run = [&]() {
    return pcre2_substitute(re, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), 0,
                            options, nullptr, nullptr,
                            reinterpret_cast<PCRE2_SPTR>(replacement.data()), replacement.size(),
                            reinterpret_cast<PCRE2_UCHAR*>(out.data()), &outLen);
  };
  int rc = run();
  if (rc == PCRE2_ERROR_NOMEMORY) {
    out.assign(outLen + 1, '\0');
    outLen = out.size();
    rc = run();
  }
  pcre2_code_free(re);
  if (rc < 0) return subject;
  out.resize(outLen);
  return out;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

}  // namespace app

// Test doubles for the tool: dialogs answered from the test, temporary folders and databases.
#pragma once

#include <sqlite3.h>

#include <QDialog>
#include <QTemporaryDir>
#include <deque>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "app/logic.h"

namespace app::test {

struct ShownBox {
  std::string text;
  std::string caption;
  TMsgIcon icon;
  TMsgButtons buttons;
};

class FakeDialogs : public TDialogs {
 public:
  FakeDialogs() { SetDialogs(this); }
  ~FakeDialogs() override { SetDialogs(nullptr); }

  void ShowPlainMessage(QWidget*, const std::string& text) override { plain.push_back(text); }
  int MessageBox(QWidget*, const std::string& text, const std::string& caption, TMsgIcon icon,
                 TMsgButtons buttons) override {
    boxes.push_back({text, caption, icon, buttons});
    if (!answers.empty()) {
      const int a = answers.front();
      answers.pop_front();
      return a;
    }
    return kIdOK;
  }
  void ShowError(QWidget*, const std::string& text) override { errors.push_back(text); }
  std::string OpenFileName(QWidget*, const std::string& f) override {
    filters.push_back(f);
    return openAnswer;
  }
  std::string SaveFileName(QWidget*, const std::string& f, const std::string& ext) override {
    filters.push_back(f);
    defaultExts.push_back(ext);
    return saveAnswer;
  }
  void ShellOpen(const std::string& path) override { opened.push_back(path); }
  int ShowModal(QDialog* dialog) override {
    modalShown.push_back(dialog->windowTitle().toStdString());
    dialog->show();
    return onModal ? onModal(dialog) : 0;
  }
  void ExitProcess(int code) override { exitCodes.push_back(code); }

  std::vector<std::string> plain, errors, filters, defaultExts, opened, modalShown;
  std::vector<ShownBox> boxes;
  std::deque<int> answers;
  std::vector<int> exitCodes;
  std::string openAnswer, saveAnswer;
  std::function<int(QDialog*)> onModal;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// Creates an SQLite database with the tool's schema at path.
inline void CreateDatabase(const std::string& path, const std::string& extraSql = {}) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  const std::string schema = ReadFile(std::string(XLSB_SOURCE_DIR) + "/db/schema.sql");
  char* err = nullptr;
  const int rc = sqlite3_exec(db, (schema + extraSql).c_str(), nullptr, nullptr, &err);
  const std::string message = err ? err : "";
  sqlite3_free(err);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << message;
}

// A temporary folder standing in for the executable's directory.
class ExeDirFixture {
 public:
  ExeDirFixture() { SetExeDir(Dir()); }
  ~ExeDirFixture() { SetExeDir(""); }
  std::string Dir() const { return dir_.path().toStdString() + "/"; }

 private:
  QTemporaryDir dir_;
};

}  // namespace app::test

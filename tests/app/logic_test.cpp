#include <gtest/gtest.h>

#include "app/logic.h"
#include "test_support.h"

namespace app {
namespace {

TEST(Logic, SplitStringDropsEmptyPieces) {
  struct Case {
    std::string text, sep;
    std::vector<std::string> pieces;
  } cases[] = {
      {"$a$$b$", "$", {"a", "b"}},
      {"a$$b", "$", {"a", "b"}},
      {"", "$", {}},
      {"abc", "", {"abc"}},
      {"k1=v1&&k2=v2", "&&", {"k1=v1", "k2=v2"}},
      {"导入,导出,,模板", ",", {"导入", "导出", "模板"}},
      {"no separator", ";", {"no separator"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SplitString(c.text, c.sep)->Texts(), c.pieces) << c.text << " at " << c.sep;
}

TEST(Logic, CountDotsCountsBytes) {
  const std::pair<std::string, int> cases[] = {{"1.2.3", 2}, {"", 0}, {"...", 3}, {"无.点", 1}};
  for (const auto& [text, n] : cases) EXPECT_EQ(CountDots(text), n) << text;
}

TEST(Logic, RegexReplace) {
  struct Case {
    std::string subject, pattern, replacement, result;
  } cases[] = {
      {"A-12/3", "[^0-9]", "", "123"},
      {"KH0041", "[^0-9]", "", "0041"},
      {"无数字", "[^0-9]", "", ""},
      {"abc", "x*", "-", "abc"},  // empty matches are never replaced
      {"2024-01-02", "(\\d+)-(\\d+)-(\\d+)", "$3.$2.$1", "02.01.2024"},
      {"a.b", "[", "", "a.b"},  // a pattern that does not compile changes nothing
      {std::string(300, 'x'), "x", "yy", std::string(600, 'y')},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RegexReplace(c.subject, c.pattern, c.replacement), c.result) << c.subject;
}

TEST(Logic, ShowMessageBoxKinds) {
  test::FakeDialogs dialogs;
  struct Case {
    int kind;
    TMsgIcon icon;
    TMsgButtons buttons;
  } cases[] = {{0, TMsgIcon::Information, TMsgButtons::OK},
               {1, TMsgIcon::Question, TMsgButtons::OK},
               {2, TMsgIcon::Question, TMsgButtons::YesNo},
               {3, TMsgIcon::Warning, TMsgButtons::OK},
               {4, TMsgIcon::Error, TMsgButtons::OK}};
  for (const Case& c : cases) {
    dialogs.boxes.clear();
    EXPECT_EQ(ShowMessageBox(nullptr, "文本", c.kind), kIdOK);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].caption, "系统提示");
    EXPECT_EQ(dialogs.boxes[0].text, "文本");
    EXPECT_EQ(dialogs.boxes[0].icon, c.icon) << c.kind;
    EXPECT_EQ(dialogs.boxes[0].buttons, c.buttons) << c.kind;
  }
  dialogs.answers = {kIdYes, kIdNo};
  EXPECT_EQ(ShowMessageBox(nullptr, "?", 2), kIdYes);
  EXPECT_EQ(ShowMessageBox(nullptr, "?", 2), kIdNo);
  dialogs.boxes.clear();
  EXPECT_EQ(ShowMessageBox(nullptr, "nothing", 9), 0);
  EXPECT_EQ(ShowMessageBox(nullptr, "nothing", -1), 0);
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST(Logic, TrimRemovesBlanksAndControls) {
  EXPECT_EQ(Trim(" \t\r\n部门 \x01"), "部门");
  EXPECT_EQ(Trim("   "), "");
}

}  // namespace
}  // namespace app

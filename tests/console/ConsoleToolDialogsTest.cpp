// The small dialogs of the console's tools through their widgets: the
// new-password dialog and the one-line input box, with a person's answers
// from a script.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <optional>
#include <string>

#include "console/EditSqlPasswordDialog.h"
#include "console/InputBox.h"
#include "tests/console/ConsoleTestSupport.h"

namespace quor::console {
namespace {

using ui::MessageAnswer;

constexpr const char* kEmptyPasswordQuestion =
    "你录入的新密码为空，如果网络版这样会不安全！你确认要清空当前数据库的登陆密码吗？";

TEST(EditSqlPasswordDialogTest, ConfirmsOnlyARightOldPasswordAndAMatchingNewOne) {
  struct Case {
    const char* name;
    const char* old;
    const char* new1;
    const char* new2;
    std::optional<MessageAnswer> answer;  // to the empty-password question
    const char* message;                  // shown, or nullptr
    bool confirmed;
  };
  const Case cases[] = {
      {"right", "old pw", "n3w", "n3w", std::nullopt, nullptr, true},
      {"wrong old", "old PW", "n3w", "n3w", std::nullopt, "原密码录入错误，请重新录入正确的密码！",
       false},
      {"old with a blank more", "old pw ", "n3w", "n3w", std::nullopt,
       "原密码录入错误，请重新录入正确的密码！", false},
      {"mismatch", "old pw", "n3w", "n3W", std::nullopt,
       "新密码和确认密码不相同，请录入正确的密码！", false},
      {"empty, OK", "old pw", "", "", MessageAnswer::Ok, kEmptyPasswordQuestion, true},
      {"empty, Cancel", "old pw", "", "", MessageAnswer::Cancel, kEmptyPasswordQuestion, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ScriptedBoxes boxes;
    if (c.answer) boxes->QueueAnswer(*c.answer);
    TfrmEditSQLPassword dialog("old pw");
    dialog.show();
    EXPECT_EQ(dialog.windowTitle().toStdString(), "修改SQL数据库密码");
    for (const char* name : {"edtOldPassword", "edtNewPassword1", "edtNewPassword2"}) {
      EXPECT_EQ(dialog.findChild<QLineEdit*>(name)->echoMode(), QLineEdit::Password) << name;
    }
    dialog.findChild<QLineEdit*>("edtOldPassword")->setText(c.old);
    dialog.findChild<QLineEdit*>("edtNewPassword1")->setText(c.new1);
    dialog.findChild<QLineEdit*>("edtNewPassword2")->setText(c.new2);
    dialog.findChild<QPushButton*>("btnOK")->click();
    EXPECT_EQ(dialog.Confirmed(), c.confirmed);
    EXPECT_EQ(dialog.isVisible(), !c.confirmed) << "a refusal keeps the dialog open";
    if (c.confirmed) {
      EXPECT_EQ(dialog.NewPassword(), c.new1);
    }
    if (c.message) {
      ASSERT_EQ(boxes->Shown().size(), 1u);
      EXPECT_EQ(boxes->Shown()[0].text, c.message);
      EXPECT_EQ(boxes->Shown()[0].caption, "提示");
      EXPECT_EQ(boxes->Shown()[0].icon, ui::MessageIcon::Warning);
    } else {
      EXPECT_TRUE(boxes->Shown().empty());
    }
    EXPECT_EQ(boxes->PendingAnswers(), 0u);
  }
}

TEST(EditSqlPasswordDialogTest, CancelLeavesItUnconfirmed) {
  TfrmEditSQLPassword dialog("pw");
  dialog.show();
  dialog.findChild<QLineEdit*>("edtOldPassword")->setText("pw");
  dialog.findChild<QPushButton*>("btnCancel")->click();
  EXPECT_FALSE(dialog.Confirmed());
  EXPECT_FALSE(dialog.isVisible());
}

TEST(InputBoxTest, ConfirmAndEnterGiveOneCancelAndEscGiveZero) {
  struct Case {
    const char* name;
    int kind;
    const char* action;  // "ok", "enter", "cancel", "esc"
    int result;
  };
  const Case cases[] = {
      {"OK", 1, "ok", 1},           {"Enter", 2, "enter", 1},     {"Cancel", 2, "cancel", 0},
      {"Esc, kind 2", 2, "esc", 0}, {"Esc, kind 1", 1, "esc", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = "300";
    const int result = InputBox(
        c.kind, "输入窗口", "请输入SQLServer连接超时时限（秒）！", text, [&c](QWidget& window) {
          auto& box = static_cast<Tinput_box&>(window);
          box.show();
          auto* edit = box.findChild<QLineEdit*>("Edit1");
          EXPECT_EQ(box.windowTitle().toStdString(), "输入窗口");
          EXPECT_EQ(edit->text().toStdString(), "300");
          EXPECT_EQ(box.findChild<QPushButton*>("btnCancel")->isVisible(), c.kind == 2);
          edit->setText("45");
          const std::string action = c.action;
          if (action == "ok") box.findChild<QPushButton*>("btnOK")->click();
          if (action == "cancel") box.findChild<QPushButton*>("btnCancel")->click();
          if (action == "enter") QTest::keyClick(edit, Qt::Key_Return);
          if (action == "esc") QTest::keyClick(edit, Qt::Key_Escape);
          EXPECT_FALSE(box.isVisible());
          return box.Result();
        });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(text, "45") << "the text comes back either way";
  }
}

TEST(InputBoxTest, TheFieldTakesAtMost120Characters) {
  Tinput_box box(2, "c", "p", std::string(130, 'x'));
  EXPECT_EQ(box.Text().size(), 120u);
  EXPECT_EQ(box.findChild<QLineEdit*>("Edit1")->maxLength(), kInputBoxMaxLength);
}

}  // namespace
}  // namespace quor::console

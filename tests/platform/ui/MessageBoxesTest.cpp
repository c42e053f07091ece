#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <thread>

#include "platform/ui/HeadlessMessageBoxes.h"
#include "platform/ui/QtMessageBoxes.h"
#include "platform/ui/ScriptedMessageBoxes.h"

namespace quor::ui {
namespace {

std::string CaptureOf(const std::function<void(std::FILE*)>& write) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* out = ::open_memstream(&buffer, &size);
  write(out);
  std::fclose(out);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

TEST(HeadlessMessageBoxes, WriteCaptionAndTextAsOneLine) {
  std::string text = CaptureOf([](std::FILE* out) {
    HeadlessMessageBoxes boxes(out);
    boxes.Show("你已经启动了服务程序,不能在同一台机器上再次启动本程序。", "瓦拓网络服务器",
               MessageIcon::Warning);
  });
  EXPECT_EQ(text, "瓦拓网络服务器: 你已经启动了服务程序,不能在同一台机器上再次启动本程序。\n");
}

TEST(HeadlessMessageBoxes, AnswerEveryQuestionByDeclining) {
  const std::pair<MessageButtons, MessageAnswer> cases[] = {
      {MessageButtons::Ok, MessageAnswer::Ok},
      {MessageButtons::OkCancel, MessageAnswer::Cancel},
      {MessageButtons::YesNo, MessageAnswer::No},
      {MessageButtons::YesNoCancel, MessageAnswer::Cancel},
  };
  for (const auto& [buttons, expected] : cases) {
    MessageAnswer answer = MessageAnswer::Ok;
    std::string text = CaptureOf([&](std::FILE* out) {
      answer = HeadlessMessageBoxes(out).Ask("是否退出?", "提示", buttons, MessageIcon::Question);
    });
    EXPECT_EQ(answer, expected) << static_cast<int>(buttons);
    EXPECT_EQ(text, "提示: 是否退出?\n");
  }
}

TEST(ScriptedMessageBoxes, RecordEverythingAndAnswerInOrder) {
  ScriptedMessageBoxes boxes;
  boxes.QueueAnswer(MessageAnswer::No);
  boxes.QueueAnswer(MessageAnswer::Yes);
  boxes.Show("已保存", "提示", MessageIcon::Information);
  EXPECT_EQ(boxes.Ask("第一问", "提示", MessageButtons::YesNo, MessageIcon::Question),
            MessageAnswer::No);
  EXPECT_EQ(boxes.Ask("第二问", "提示", MessageButtons::YesNoCancel, MessageIcon::Question),
            MessageAnswer::Yes);
  auto shown = boxes.Shown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].text, "已保存");
  EXPECT_FALSE(shown[0].question);
  EXPECT_EQ(shown[0].icon, MessageIcon::Information);
  EXPECT_EQ(shown[1].text, "第一问");
  EXPECT_TRUE(shown[1].question);
  EXPECT_EQ(shown[2].buttons, MessageButtons::YesNoCancel);
  EXPECT_EQ(boxes.PendingAnswers(), 0u);
}

TEST(ScriptedMessageBoxes, RefuseQuestionsTheTestDidNotAnswer) {
  ScriptedMessageBoxes boxes;
  EXPECT_THROW(boxes.Ask("?", "提示", MessageButtons::YesNo, MessageIcon::Question),
               std::logic_error);
  boxes.QueueAnswer(MessageAnswer::Ok);
  EXPECT_THROW(boxes.Ask("?", "提示", MessageButtons::YesNo, MessageIcon::Question),
               std::logic_error)
      << "OK is not a button of a yes/no question";
}

TEST(ActiveMessageBoxes, AreHeadlessUntilReplaced) {
  EXPECT_NE(dynamic_cast<HeadlessMessageBoxes*>(ActiveMessageBoxes().get()), nullptr);
  auto scripted = std::make_shared<ScriptedMessageBoxes>();
  SetMessageBoxes(scripted);
  ActiveMessageBoxes()->Show("文本", "提示", MessageIcon::None);
  EXPECT_EQ(scripted->Shown().size(), 1u);
  SetMessageBoxes(nullptr);
  EXPECT_NE(dynamic_cast<HeadlessMessageBoxes*>(ActiveMessageBoxes().get()), nullptr);
}

class QtMessageBoxesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "platform_ui_test";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
  }
  static void TearDownTestSuite() {
    delete app_;
    app_ = nullptr;
  }

  struct Seen {
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
  };

  // Once the box is open, records it and presses `press` (or closes it with
  // Escape when press is NoButton).
  static void PressWhenShown(Seen* seen, QMessageBox::StandardButton press) {
    QTimer::singleShot(0, [seen, press] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) {
        PressWhenShown(seen, press);
        return;
      }
      seen->text = box->text();
      seen->caption = box->windowTitle();
      seen->icon = box->icon();
      seen->buttons = box->standardButtons();
      if (press == QMessageBox::NoButton) {
        box->reject();
      } else {
        box->button(press)->click();
      }
    });
  }

  static QApplication* app_;
};

QApplication* QtMessageBoxesTest::app_ = nullptr;

TEST_F(QtMessageBoxesTest, ShowAWarningWithCaptionAndText) {
  Seen seen;
  PressWhenShown(&seen, QMessageBox::Ok);
  QtMessageBoxes().Show("你已经启动了服务程序", "瓦拓网络服务器", MessageIcon::Warning);
  EXPECT_EQ(seen.text, QString::fromUtf8("你已经启动了服务程序"));
  EXPECT_EQ(seen.caption, QString::fromUtf8("瓦拓网络服务器"));
  EXPECT_EQ(seen.icon, QMessageBox::Warning);
  EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

TEST_F(QtMessageBoxesTest, AskReturnsTheButtonPressed) {
  struct Case {
    MessageButtons buttons;
    QMessageBox::StandardButton press;
    MessageAnswer expected;
  };
  const Case cases[] = {
      {MessageButtons::YesNo, QMessageBox::Yes, MessageAnswer::Yes},
      {MessageButtons::YesNo, QMessageBox::No, MessageAnswer::No},
      {MessageButtons::OkCancel, QMessageBox::Ok, MessageAnswer::Ok},
      {MessageButtons::YesNoCancel, QMessageBox::Cancel, MessageAnswer::Cancel},
      {MessageButtons::OkCancel, QMessageBox::NoButton, MessageAnswer::Cancel},
  };
  for (const Case& c : cases) {
    Seen seen;
    PressWhenShown(&seen, c.press);
    EXPECT_EQ(QtMessageBoxes().Ask("是否继续?", "提示", c.buttons, MessageIcon::Question),
              c.expected)
        << static_cast<int>(c.buttons) << " pressing " << c.press;
    EXPECT_EQ(seen.icon, QMessageBox::Question);
  }
  Seen seen;
  PressWhenShown(&seen, QMessageBox::No);
  QtMessageBoxes().Ask("?", "提示", MessageButtons::YesNoCancel, MessageIcon::Question);
  EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
}

TEST_F(QtMessageBoxesTest, RefuseToShowFromAnotherThread) {
  bool refused = false;
  std::thread worker([&] {
    try {
      QtMessageBoxes().Show("x", "提示", MessageIcon::None);
    } catch (const std::logic_error&) {
      refused = true;
    }
  });
  worker.join();
  EXPECT_TRUE(refused);
}

}  // namespace
}  // namespace quor::ui

// The console's one-line input box "Tinput_box": a caption, a prompt and an
// edit field of at most 120 characters; kind 1 offers only "确认", kind 2 also
// "取消".
#pragma once

#include <QDialog>

#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quor::console {

class Tinput_box : public QDialog {
 public:
  Tinput_box(int kind, const std::string& caption, const std::string& prompt,
             const std::string& text, QWidget* parent = nullptr);

  // 1 after "确认" or Enter, 0 after "取消", Esc or the close box.
  int Result() const { return result_; }
  std::string Text() const;

  void Confirm();

 protected:
  void reject() override;

 private:
  int result_ = 0;
  QLineEdit* edit_ = nullptr;
};

// Opens the box modally through `runModal` (the dialog's exec() when empty);
// `text` holds the field's text afterwards. Returns the box's result.
int InputBox(int kind, const std::string& caption, const std::string& prompt, std::string& text,
             const std::function<int(QWidget&)>& runModal = {});

inline constexpr int kInputBoxMaxLength = 120;

}  // namespace quor::console

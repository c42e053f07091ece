// "账套隐藏": which account sets the clients' lists hide by default, and the
// shortcut key that shows each (catalogue columns SetHide and ShortcutKey).
// Saving writes every row in one transaction: all rows or none.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QRadioButton;
class QTableWidget;

namespace quor::console {

class TfrmDataBaseHide : public QDialog {
 public:
  explicit TfrmDataBaseHide(QWidget* parent = nullptr);

  // "确定(&O)": true when every row was saved (the dialog then closes).
  bool Save();
  bool Saved() const { return saved_; }

  // The shortcut rule applied to one cell's text: a key without "Ctrl" or
  // "Alt" gets the checked modifier in front ("F5" -> "Alt+F5").
  static std::string ShortcutText(const std::string& text, bool alt);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Load();
  void ApplyShortcutRule(int row);

  bool saved_ = false;
  QRadioButton* rbCtrl_ = nullptr;
  QRadioButton* rbAlt_ = nullptr;
  QTableWidget* grid_ = nullptr;
};

// Grid columns.
inline constexpr int kHideColumnRow = 0;
inline constexpr int kHideColumnHidden = 1;
inline constexpr int kHideColumnCaption = 2;
inline constexpr int kHideColumnName = 3;
inline constexpr int kHideColumnShortcut = 4;
// Rows of the grid, its header row included.
inline constexpr int kHideMinimumRows = 7;

inline constexpr const char* kHideSaveFailed =
    "设置隐藏账套失败，请检查SQL是否能正确连接或至少已创建一个账套！";

}  // namespace quor::console

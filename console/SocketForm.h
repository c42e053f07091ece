// The socket transport window "Socket 连接服务程序": the ports the server
// listens on with their properties, the client connections open now, and the
// console person's commands on both (add, remove and reconfigure ports, force
// connections closed, the ShowHost and RegisteredOnly switches). It never is
// the main window: the console shows it modally and asks it how many
// connections are open before the server exits. All of it runs on the UI
// thread; connection threads reach it only through the transport's row
// notifications, which arrive there.
#pragma once

#include <QDialog>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "transport/ConnectionObserver.h"
#include "transport/QtConnectionObserver.h"
#include "transport/SocketPortList.h"

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QShowEvent;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace quor::console {

class TSocketForm : public QDialog {
 public:
  // The list and the notifications outlive the window (the host owns them).
  TSocketForm(transport::SocketPortList& ports, transport::QtConnectionObserver& rows,
              QWidget* parent = nullptr);
  ~TSocketForm() override;

  // Builds the listeners from the settings store and opens them; a port that
  // cannot be opened is reported (one message each) while the others serve.
  // fromService: started by the service rather than the desktop program.
  void Initialise(bool fromService);
  bool Initialised() const { return initialised_; }
  bool FromService() const { return fromService_; }

  void AddConnectionRow(const transport::ConnectionRow& row);
  void RemoveConnectionRow(const transport::ConnectionRow& row);
  // The rows of the connection list; the console's exit question counts them.
  int ConnectionCount() const;

  // Rewrites the settings store from the ports and switches. A store that
  // cannot be written is reported; what the server runs with stays as it is.
  bool SaveAllSettings();

  // The person's commands, as the menus and buttons run them.
  void SelectPort(int index);
  bool ApplySettings();
  void AddPort();
  void RemovePort();
  void DisconnectSelected();
  void ToggleShowHost();
  void ToggleRegisteredOnly();
  // "退出(&E)": checks the number fields, then closes with an OK result.
  void ExitWindow();

  int SelectedPort() const { return selected_; }

 protected:
  void showEvent(QShowEvent* event) override;
  // The close box and Escape close the window as "退出" does, without the
  // field check: pending changes applied, settings saved.
  void reject() override;

 private:
  class RowReceiver;

  void BuildWidgets();
  void FillFields(const transport::PortSettings& settings);
  void SetFieldsChanged(bool changed);
  void UpdateActions();
  void UpdateStatusLine();
  // Reports the first field that is no whole number in its range, focusing
  // the port field; false then.
  bool CheckNumberFields();
  bool CheckPortField();
  std::string HostColumnText(const std::string& address) const;
  // Apply pending changes and save; false keeps the window open.
  bool PrepareClose();
  QTreeWidgetItem* FindRow(std::uint64_t connectionId) const;

  transport::SocketPortList& ports_;
  transport::QtConnectionObserver& rows_;
  std::shared_ptr<RowReceiver> receiver_;
  bool initialised_ = false;
  bool fromService_ = false;
  int selected_ = -1;
  bool fieldsChanged_ = false;

  QListWidget* portList_ = nullptr;
  QTabWidget* pages_ = nullptr;
  QTreeWidget* connectionList_ = nullptr;
  QLabel* statusLine_ = nullptr;
  QLineEdit* portNo_ = nullptr;
  QLineEdit* threadSize_ = nullptr;
  QLineEdit* timeout_ = nullptr;
  QLineEdit* interceptGuid_ = nullptr;
  QPushButton* applyButton_ = nullptr;
  QAction* applyAction_ = nullptr;
  QAction* addPortAction_ = nullptr;
  QAction* removePortAction_ = nullptr;
  QAction* showHostAction_ = nullptr;
  QAction* registeredAction_ = nullptr;
  QAction* disconnectAction_ = nullptr;
  QAction* exitAction_ = nullptr;
};

// The caption of the window.
inline constexpr const char* kSocketFormCaption = "Socket 连接服务程序";

}  // namespace quor::console

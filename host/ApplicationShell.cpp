#include "host/ApplicationShell.h"

#include <QApplication>
#include <QIcon>
#include <clocale>
#include <cstdlib>

#include "host/TerminationSignals.h"
#include "platform/ui/HeadlessMessageBoxes.h"
#include "platform/ui/MessageBoxes.h"
#include "platform/ui/QtMessageBoxes.h"

namespace quor::host {

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

ApplicationShell::ApplicationShell(int& argc, char** argv, bool headless,
                                   const std::optional<std::filesystem::path>& iconFile) {
  if (headless) ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  app_ = std::make_unique<QApplication>(argc, argv);
  signals_ = std::make_unique<TerminationSignals>();
  // Qt takes the user's locale for everything; numbers written into SQL text
  // and files must keep the "." decimal point whatever the locale says.
  std::setlocale(LC_NUMERIC, "C");
  // The console window sets the title when it exists.
  QApplication::setApplicationDisplayName(QString());
  if (iconFile) QApplication::setWindowIcon(QIcon(QString::fromStdString(iconFile->string())));

  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
    ui::SetMessageBoxes(std::make_shared<ui::HeadlessMessageBoxes>());
  } else {
    ui::SetMessageBoxes(std::make_shared<ui::QtMessageBoxes>());
  }
}

ApplicationShell::~ApplicationShell() {
  // Boxes bound to the Qt application must not outlive it.
  ui::SetMessageBoxes(nullptr);
  signals_.reset();
}

int ApplicationShell::Run() {
  return QApplication::exec();
}

int ApplicationShell::ReceivedSignal() const {
  return signals_->Received();
}

}  // namespace quor::host

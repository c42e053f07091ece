// The server console: the main window in the notification area, the socket
// transport window with its service object, and the connection settings dialog.
#pragma once

#include "console/MainForm.h"
#include "console/SocketForm.h"
#include "console/SocketService.h"
#include "console/SqlSettingDialog.h"

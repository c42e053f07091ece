// The server console: the main window in the notification area, the socket
// transport window with its service object, the connection settings dialog,
// the SQL Server engine tools, web publishing and the scheduled power-off.
#pragma once

#include "console/AutoShutDownForm.h"
#include "console/EngineTools.h"
#include "console/MainForm.h"
#include "console/SocketForm.h"
#include "console/SocketService.h"
#include "console/SqlSettingDialog.h"
#include "console/WebPublishing.h"

// The synchroniser's log lines ("sync: ..." on stderr, the journal under
// systemd). Tests may take the lines instead to see what was reported.
#pragma once

#include <functional>
#include <string>

namespace quor::sync {

void SyncLog(const std::string& line);

// An empty sink returns to stderr.
void SetSyncLogSink(std::function<void(const std::string&)> sink);

}  // namespace quor::sync

// Where the running program is and under which name it was started. The name
// selects the trade edition, so a copy or a link named QuorServerQX is the QX
// server even though the file it runs may be QuorServerBZ.
#pragma once

#include <string>

namespace quor::host {

struct ProgramLocation {
  std::string path;      // full path as started (a link stays a link)
  std::string fileName;  // path without folder
  std::string folder;    // folder of the executable file itself, ending in '/'
};

// argv0 as the program received it; the folder comes from /proc/self/exe.
ProgramLocation LocateProgram(const std::string& argv0);

}  // namespace quor::host

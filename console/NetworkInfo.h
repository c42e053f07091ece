// What "本机网络信息" tells about this machine: its name and its workgroup,
// which on Linux is the Samba workgroup when Samba is set up.
#pragma once

#include <filesystem>
#include <string>

namespace quor::console {

std::string ComputerName();
// "workgroup = NAME" of the [global] section of smb.conf; empty without one.
std::string Workgroup(const std::filesystem::path& smbConf = "/etc/samba/smb.conf");

}  // namespace quor::console

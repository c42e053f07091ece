#include "platform/registry/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace quor::registry {

int ReadWholeFile(const std::filesystem::path& file, std::string& content) {
  content.clear();
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  char buffer[8192];
  for (;;) {
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      content.clear();
      return error;
    }
    content.append(buffer, static_cast<std::size_t>(count));
  }
  ::close(fd);
  return 0;
}

int ReplaceWholeFile(const std::filesystem::path& file, std::string_view content) {
  struct stat old {};
  const mode_t mode = ::stat(file.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  std::string temp = file.string() + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return errno;
  const auto discard = [&](int error) {
    ::close(fd);
    ::unlink(temp.c_str());
    return error;
  };
  for (std::size_t done = 0; done < content.size();) {
    const ssize_t count = ::write(fd, content.data() + done, content.size() - done);
    if (count < 0) {
      if (errno == EINTR) continue;
      return discard(errno);
    }
    done += static_cast<std::size_t>(count);
  }
  if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) return discard(errno);
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    return error;
  }
  if (::rename(temp.c_str(), file.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    return error;
  }
  return 0;
}

}  // namespace quor::registry

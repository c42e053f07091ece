#include "tests/support/tds/TextCodec.h"

#include <errno.h>
#include <iconv.h>

#include "tests/support/tds/TdsBytes.h"

namespace quor::test::tds {
namespace {

class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : handle_(iconv_open(to, from)) {
    if (handle_ == reinterpret_cast<iconv_t>(-1)) {
      throw TdsProtocolError(std::string("iconv cannot convert ") + from + " to " + to);
    }
  }
  ~IconvHandle() { iconv_close(handle_); }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;
  iconv_t Get() const { return handle_; }

 private:
  iconv_t handle_;
};

std::string Convert(const char* to, const char* from, std::string_view in) {
  if (in.empty()) return {};
  IconvHandle cd(to, from);
  std::string out(in.size() * 4 + 16, '\0');
  char* inPtr = const_cast<char*>(in.data());
  std::size_t inLeft = in.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  if (iconv(cd.Get(), &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
    throw TdsProtocolError(std::string("text not convertible from ") + from + " to " + to +
                           " at byte " + std::to_string(in.size() - inLeft));
  }
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace

std::string Utf8ToUtf16le(std::string_view utf8) {
  return Convert("UTF-16LE", "UTF-8", utf8);
}
std::string Utf16leToUtf8(std::string_view utf16le) {
  return Convert("UTF-8", "UTF-16LE", utf16le);
}
std::string Utf8ToCp936(std::string_view utf8) {
  return Convert("CP936", "UTF-8", utf8);
}
std::string Cp936ToUtf8(std::string_view cp936) {
  return Convert("UTF-8", "CP936", cp936);
}

}  // namespace quor::test::tds

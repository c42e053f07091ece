// HRESULT codes with their Windows values, and the exception the server raises
// inside and turns into an HRESULT (plus exception information) at the COM
// boundary. Clients compare these numbers, so they are fixed.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quor::com {

using HResult = std::int32_t;

// The Windows names are kept so code that mirrors a COM call reads as it would
// there; the values are what clients receive on the wire.
inline constexpr HResult S_OK = 0;
inline constexpr HResult S_FALSE = 1;
inline constexpr HResult E_UNEXPECTED = static_cast<HResult>(0x8000FFFFu);
inline constexpr HResult E_NOTIMPL = static_cast<HResult>(0x80004001u);
inline constexpr HResult E_NOINTERFACE = static_cast<HResult>(0x80004002u);
inline constexpr HResult E_POINTER = static_cast<HResult>(0x80004003u);
inline constexpr HResult E_FAIL = static_cast<HResult>(0x80004005u);
inline constexpr HResult E_OUTOFMEMORY = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult E_INVALIDARG = static_cast<HResult>(0x80070057u);
inline constexpr HResult DISP_E_UNKNOWNINTERFACE = static_cast<HResult>(0x80020001u);
inline constexpr HResult DISP_E_MEMBERNOTFOUND = static_cast<HResult>(0x80020003u);
inline constexpr HResult DISP_E_PARAMNOTFOUND = static_cast<HResult>(0x80020004u);
inline constexpr HResult DISP_E_TYPEMISMATCH = static_cast<HResult>(0x80020005u);
inline constexpr HResult DISP_E_UNKNOWNNAME = static_cast<HResult>(0x80020006u);
inline constexpr HResult DISP_E_NONAMEDARGS = static_cast<HResult>(0x80020007u);
inline constexpr HResult DISP_E_BADVARTYPE = static_cast<HResult>(0x80020008u);
inline constexpr HResult DISP_E_EXCEPTION = static_cast<HResult>(0x80020009u);
inline constexpr HResult DISP_E_OVERFLOW = static_cast<HResult>(0x8002000Au);
inline constexpr HResult DISP_E_BADINDEX = static_cast<HResult>(0x8002000Bu);
inline constexpr HResult DISP_E_ARRAYISLOCKED = static_cast<HResult>(0x8002000Du);
inline constexpr HResult DISP_E_BADPARAMCOUNT = static_cast<HResult>(0x8002000Eu);
inline constexpr HResult DISP_E_PARAMNOTOPTIONAL = static_cast<HResult>(0x8002000Fu);
inline constexpr HResult CLASS_E_CLASSNOTAVAILABLE = static_cast<HResult>(0x80040111u);
inline constexpr HResult REGDB_E_CLASSNOTREG = static_cast<HResult>(0x80040154u);

constexpr bool Succeeded(HResult code) {
  return code >= 0;
}
constexpr bool Failed(HResult code) {
  return code < 0;
}

// "0x80020005", the way Windows tools print an HRESULT.
std::string FormatHResult(HResult code);

// An error that knows its HRESULT. At a COM boundary the code becomes the call's
// failure code (or the scode of DISP_E_EXCEPTION) and the message its description.
class HResultError : public std::runtime_error {
 public:
  HResultError(HResult code, const std::string& message);
  // The message is the code's hexadecimal text, for errors that have no words.
  explicit HResultError(HResult code);

  HResult Code() const noexcept { return code_; }

 private:
  HResult code_;
};

}  // namespace quor::com

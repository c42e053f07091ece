// Binds parameter values to a statement handle and reads outputs back. The
// buffers live here, so the binder must outlive the run it was bound for.
//
// A value is sent in the C type that suits the parameter's declared SQL type
// (converted by the layer, so the result does not depend on the driver's own
// conversions); an input whose value has no such form is sent as text and the
// server converts it or reports the error, as it would for any client. Text
// goes as UTF-16 (nvarchar) whatever the declared character type, so the server
// converts to the column's code page; text over 4000 characters and binary over
// 8000 bytes go as long types, since the driver silently cuts longer varchar.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <deque>
#include <vector>

#include "../Parameter.h"

namespace quor::sql::detail {

class ParamBinder {
 public:
  // Binds `parameter` as marker number `ordinal` (from 1). Return values and
  // outputs are bound for output; inputs and in-outs send the parameter's value.
  // Returns the slot number for ReadOutput.
  std::size_t Bind(SQLHSTMT stmt, SQLUSMALLINT ordinal, const Parameter& parameter);
  // The value a slot bound for output holds after the run has finished.
  Value ReadOutput(std::size_t slot) const;
  bool IsOutput(std::size_t slot) const;

 private:
  struct Slot {
    std::vector<unsigned char> buffer;
    SQLLEN indicator = 0;
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLSMALLINT sqlType = SQL_WVARCHAR;
    SQLULEN columnSize = 0;
    SQLSMALLINT decimalDigits = 0;
    SQLSMALLINT ioType = SQL_PARAM_INPUT;
  };
  void Fill(Slot& slot, const Parameter& parameter, bool output);

  std::deque<Slot> slots_;  // a deque keeps buffers in place as slots are added
};

}  // namespace quor::sql::detail

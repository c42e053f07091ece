// A statement component in the manner of an ADO query: its text is a list of
// lines, parameters are derived from the text (":name" and "?" markers, the
// ParamCheck behaviour), and it is opened for rows or executed. The text goes
// to the server as it stands apart from the markers: the driver's escape
// scanning is off, since the server hands clients' texts on unchanged.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "DataSet.h"
#include "detail/SqlText.h"

namespace quor::sql {

class Statement : public DataSet {
 public:
  explicit Statement(Connection& connection, std::string name = "Statement");

  // Both close the component and, with ParamCheck on, derive Params() afresh
  // (unassigned parameters are sent as NULL).
  void SetText(std::string_view text);  // split at CR LF, LF or CR
  void SetLines(std::vector<std::string> lines);
  const std::vector<std::string>& Lines() const { return lines_; }
  std::string Text() const;  // the lines joined with CR LF

  // On by default. Off: the text is sent as it stands and Params(), filled by
  // the caller, are bound to its "?" markers in order.
  bool ParamCheck() const { return paramCheck_; }
  void SetParamCheck(bool on);

  // Raises NoResultSetError (the component's name attached) when the text
  // yields no result set; the statement has then run. Opening an active
  // component returns its record set as it is.
  RecordSet& Open(std::size_t blockSize = 0);
  // Runs the text, skipping any rows; returns the rows affected, -1 when the
  // server reports none.
  long long Execute();

 private:
  void DeriveParameters();
  std::unique_ptr<detail::Command> Run(bool& hasResults);

  std::vector<std::string> lines_;
  bool paramCheck_ = true;
  detail::ParsedStatement parsed_;
};

}  // namespace quor::sql

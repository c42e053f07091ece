// Parameters of a stored procedure or statement, ADO style: the list comes from
// the server's declaration (or from the statement text), values are assigned by
// name or by position, and outputs are read back after the run.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "Value.h"

namespace quor::sql {

// The ordinals are the data packet's direction ordinals.
enum class ParamDirection {
  kUnknown = 0,
  kInput = 1,
  kOutput = 2,
  kInputOutput = 3,
  kReturnValue = 4
};

class Parameter {
 public:
  Parameter() = default;
  Parameter(std::string name, ParamDirection direction, short sqlType = 0,
            std::string typeName = {}, std::size_t size = 0, int precision = 0, int scale = 0);

  const std::string& Name() const { return name_; }  // as the server reports it, with "@"
  ParamDirection Direction() const { return direction_; }
  short SqlType() const { return sqlType_; }  // ODBC SQL type code; 0 when not declared
  const std::string& TypeName() const { return typeName_; }
  std::size_t Size() const { return size_; }
  int Precision() const { return precision_; }
  int Scale() const { return scale_; }

  const Value& GetValue() const { return value_; }
  // Marks the parameter as assigned: it is sent with the call. An input parameter
  // that was never assigned is left out so the procedure's declared default applies.
  void SetValue(Value value);
  bool Assigned() const { return assigned_; }

  void SetDirection(ParamDirection direction) { direction_ = direction; }
  // The value is then sent as this type; size, precision and scale are the
  // type's own (left to the value), the declared ones no longer apply.
  void SetDataType(short sqlType, std::string typeName);
  // The run writes outputs here without marking the parameter as assigned.
  void StoreOutput(Value value) { value_ = std::move(value); }

 private:
  std::string name_;
  ParamDirection direction_ = ParamDirection::kInput;
  short sqlType_ = 0;
  std::string typeName_;
  std::size_t size_ = 0;
  int precision_ = 0;
  int scale_ = 0;
  Value value_;
  bool assigned_ = false;
};

class Parameters {
 public:
  std::size_t Count() const { return items_.size(); }
  bool Empty() const { return items_.empty(); }
  void Clear() { items_.clear(); }
  Parameter& Add(Parameter parameter);

  // Throws SqlError for a position outside the list.
  Parameter& operator[](std::size_t index);
  const Parameter& operator[](std::size_t index) const;
  // Names compare without regard to letter case; nullptr when absent.
  Parameter* Find(std::string_view name);
  const Parameter* Find(std::string_view name) const;
  // Throws SqlError "Parameter 'x' not found" when absent.
  Parameter& ByName(std::string_view name);
  const Parameter& ByName(std::string_view name) const;

  std::vector<Parameter>::iterator begin() { return items_.begin(); }
  std::vector<Parameter>::iterator end() { return items_.end(); }
  std::vector<Parameter>::const_iterator begin() const { return items_.begin(); }
  std::vector<Parameter>::const_iterator end() const { return items_.end(); }

 private:
  std::vector<Parameter> items_;
};

}  // namespace quor::sql

#include "Parameter.h"

#include <utility>

#include "SqlError.h"
#include "detail/SqlText.h"
#include "platform/text/AsciiText.h"

namespace quor::sql {

Parameter::Parameter(std::string name, ParamDirection direction, short sqlType,
                     std::string typeName, std::size_t size, int precision, int scale)
    : name_(std::move(name)),
      direction_(direction),
      sqlType_(sqlType),
      typeName_(std::move(typeName)),
      size_(size),
      precision_(precision),
      scale_(scale) {}

void Parameter::SetValue(Value value) {
  value_ = std::move(value);
  assigned_ = true;
}

void Parameter::SetDataType(short sqlType, std::string typeName) {
  sqlType_ = sqlType;
  typeName_ = std::move(typeName);
  size_ = 0;
  precision_ = 0;
  scale_ = 0;
}

Parameter& Parameters::Add(Parameter parameter) {
  items_.push_back(std::move(parameter));
  return items_.back();
}

Parameter& Parameters::operator[](std::size_t index) {
  if (index >= items_.size()) {
    throw SqlError("Parameter index " + std::to_string(index) + " is out of range (" +
                   std::to_string(items_.size()) + " parameters)");
  }
  return items_[index];
}

const Parameter& Parameters::operator[](std::size_t index) const {
  return const_cast<Parameters&>(*this)[index];
}

Parameter* Parameters::Find(std::string_view name) {
  for (Parameter& parameter : items_) {
    if (text::EqualsIgnoringAsciiCase(parameter.Name(), name)) return &parameter;
  }
  return nullptr;
}

const Parameter* Parameters::Find(std::string_view name) const {
  return const_cast<Parameters&>(*this).Find(name);
}

Parameter& Parameters::ByName(std::string_view name) {
  Parameter* parameter = Find(name);
  if (parameter == nullptr) throw SqlError("Parameter '" + std::string(name) + "' not found");
  return *parameter;
}

const Parameter& Parameters::ByName(std::string_view name) const {
  return const_cast<Parameters&>(*this).ByName(name);
}

}  // namespace quor::sql

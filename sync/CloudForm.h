// The body of a cloud call: name=value pairs in order, encoded as an HTML form
// the way the cloud service reads it (UTF-8 bytes, space as "+", every byte but
// ASCII letters, digits and "*-._" as "%XX"). Empty values are left out.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quor::sync {

using CloudFormFields = std::vector<std::pair<std::string, std::string>>;

std::string EncodeCloudFormPart(std::string_view utf8);
// Pairs with an empty value are absent, not sent as "name=".
std::string EncodeCloudForm(const CloudFormFields& fields);

}  // namespace quor::sync

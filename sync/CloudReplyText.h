// How a cloud reply becomes JSON: the body is decoded by the charset its
// Content-Type declares; without one (or with one not known here) it is taken
// as UTF-8 when it is valid UTF-8, else as code page 936. Nesting deeper than
// the parser should follow counts as no JSON.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace quor::sync {

// The body as UTF-8 text.
std::string DecodeCloudReply(const std::string& body, const std::string& contentType);

// The JSON value of the decoded text; none when it is not JSON.
std::optional<nlohmann::json> ParseCloudJson(const std::string& utf8);

inline constexpr int kMaxCloudJsonDepth = 256;

}  // namespace quor::sync

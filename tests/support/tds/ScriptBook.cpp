#include "tests/support/tds/ScriptBook.h"

#include <algorithm>
#include <cctype>

namespace quor::test::tds {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& ch : out) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return out;
}

std::string Trim(std::string_view text) {
  auto space = [](char ch) { return std::isspace(static_cast<unsigned char>(ch)) != 0; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return std::string(text);
}

ProcedureName ParseProcedureName(std::string_view name) {
  std::string text = Trim(name);
  if (auto semi = text.rfind(';'); semi != std::string::npos) {
    bool digits = semi + 1 < text.size() &&
                  std::all_of(text.begin() + static_cast<std::ptrdiff_t>(semi + 1), text.end(),
                              [](char ch) { return ch >= '0' && ch <= '9'; });
    if (digits) text.resize(semi);
  }
  std::vector<std::string> parts{""};
  bool bracket = false;
  for (char ch : text) {
    if (ch == '[' && !bracket) {
      bracket = true;
    } else if (ch == ']' && bracket) {
      bracket = false;
    } else if (ch == '.' && !bracket) {
      parts.emplace_back();
    } else {
      parts.back() += ch;
    }
  }
  ProcedureName result;
  result.bare = parts.back();
  result.key = Lower(result.bare);
  if (parts.size() >= 3) result.database = parts[parts.size() - 3];
  return result;
}

bool LikeMatch(std::string_view text, std::string_view pattern) {
  auto lower = [](char ch) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  };
  if (pattern.empty()) return text.empty();
  char p = pattern.front();
  if (p == '%') {
    for (std::size_t i = 0; i <= text.size(); ++i) {
      if (LikeMatch(text.substr(i), pattern.substr(1))) return true;
    }
    return false;
  }
  if (text.empty()) return false;
  if (p == '_') return LikeMatch(text.substr(1), pattern.substr(1));
  if (p == '[') {
    std::size_t close = pattern.find(']', 1);
    if (close != std::string_view::npos) {
      std::string_view set = pattern.substr(1, close - 1);
      bool negate = !set.empty() && set.front() == '^';
      if (negate) set.remove_prefix(1);
      bool in = false;
      for (std::size_t i = 0; i < set.size(); ++i) {
        if (i + 2 < set.size() && set[i + 1] == '-') {
          in |= lower(text.front()) >= lower(set[i]) && lower(text.front()) <= lower(set[i + 2]);
          i += 2;
        } else {
          in |= lower(text.front()) == lower(set[i]);
        }
      }
      return in != negate && LikeMatch(text.substr(1), pattern.substr(close + 1));
    }
  }
  return lower(text.front()) == lower(p) && LikeMatch(text.substr(1), pattern.substr(1));
}

void ScriptBook::AddLogin(const std::string& user, const std::string& password) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& login : logins_) {
    if (Lower(login.first) == Lower(user)) {
      login.second = password;
      return;
    }
  }
  logins_.emplace_back(user, password);
}

std::optional<std::string> ScriptBook::CheckLogin(const std::string& user,
                                                  const std::string& password) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& login : logins_) {
    if (Lower(login.first) == Lower(user) && login.second == password) return login.first;
  }
  return std::nullopt;
}

void ScriptBook::AddDatabase(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& db : databases_) {
    if (Lower(db) == Lower(name)) return;
  }
  databases_.push_back(name);
}

std::optional<std::string> ScriptBook::FindDatabase(std::string_view name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& db : databases_) {
    if (Lower(db) == Lower(name)) return db;
  }
  return std::nullopt;
}

void ScriptBook::DeclareProcedure(ProcedureDecl decl) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string key = ParseProcedureName(decl.name).key;
  std::erase_if(procedures_, [&](const ProcedureDecl& p) {
    return ParseProcedureName(p.name).key == key && Lower(p.database) == Lower(decl.database);
  });
  procedures_.push_back(std::move(decl));
}

std::optional<ProcedureDecl> ScriptBook::FindProcedure(const ProcedureName& name,
                                                       const std::string& database) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const ProcedureDecl* anyDatabase = nullptr;
  for (const auto& p : procedures_) {
    if (ParseProcedureName(p.name).key != name.key) continue;
    if (Lower(p.database) == Lower(database)) return p;
    if (p.database.empty()) anyDatabase = &p;
  }
  if (anyDatabase) return *anyDatabase;
  return std::nullopt;
}

std::vector<ProcedureDecl> ScriptBook::ProceduresLike(std::string_view pattern,
                                                      const std::string& database) const {
  std::string bare(pattern);
  if (auto semi = bare.rfind(';'); semi != std::string::npos) bare.resize(semi);
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<ProcedureDecl> found;
  for (const auto& p : procedures_) {
    if (!p.database.empty() && Lower(p.database) != Lower(database)) continue;
    if (!LikeMatch(ParseProcedureName(p.name).key, bare)) continue;
    // A procedure declared for this database hides the one declared for every database.
    auto same = std::find_if(found.begin(), found.end(), [&](const ProcedureDecl& f) {
      return ParseProcedureName(f.name).key == ParseProcedureName(p.name).key;
    });
    if (same == found.end()) {
      found.push_back(p);
    } else if (!p.database.empty()) {
      *same = p;
    }
  }
  return found;
}

void ScriptBook::SetProcedureHandler(const std::string& name, ProcedureHandler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string key = ParseProcedureName(name).key;
  std::erase_if(procedureHandlers_, [&](const auto& h) { return h.first == key; });
  procedureHandlers_.emplace_back(key, std::move(handler));
}

ProcedureHandler ScriptBook::FindProcedureHandler(const ProcedureName& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& h : procedureHandlers_) {
    if (h.first == name.key) return h.second;
  }
  return nullptr;
}

void ScriptBook::AddStatement(const std::string& text, StatementHandler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string key = Trim(text);
  std::erase_if(statements_, [&](const auto& s) { return s.first == key; });
  statements_.emplace_back(key, std::move(handler));
}

void ScriptBook::AddStatementPattern(const std::regex& pattern, StatementHandler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  patterns_.emplace_back(pattern, std::move(handler));
}

std::optional<StatementMatch> ScriptBook::FindStatement(const std::string& text) const {
  std::string key = Trim(text);
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& s : statements_) {
    if (s.first == key) return StatementMatch{s.second, {}};
  }
  for (auto it = patterns_.rbegin(); it != patterns_.rend(); ++it) {
    std::smatch m;
    if (std::regex_match(key, m, it->first)) {
      StatementMatch match{it->second, {}};
      for (std::size_t i = 1; i < m.size(); ++i) match.captures.push_back(m[i].str());
      return match;
    }
  }
  return std::nullopt;
}

void ScriptBook::SetTransactionHandler(TransactionHandler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  transactionHandler_ = std::move(handler);
}

TransactionHandler ScriptBook::FindTransactionHandler() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return transactionHandler_;
}

void ScriptBook::Record(Request request) {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.push_back(std::move(request));
}

std::vector<Request> ScriptBook::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void ScriptBook::ClearRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.clear();
}

}  // namespace quor::test::tds

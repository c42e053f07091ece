#include "tests/support/tds/ProcedureBinding.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "tests/support/tds/ScriptBook.h"
#include "tests/support/tds/TdsTypes.h"
#include "tests/support/tds/TextCodec.h"

namespace quor::test::tds {

std::string Bare(std::string_view name) {
  std::string n = Lower(name);
  if (!n.empty() && n.front() == '@') n.erase(0, 1);
  return n;
}

Binding BindArguments(const ProcedureDecl& decl, const std::vector<CallArg>& args) {
  Binding binding;
  binding.slotOf.assign(args.size(), -1);
  const std::string& procName = decl.name;
  binding.call.procedure = procName;
  std::size_t n = decl.params.size();
  binding.call.values.assign(n, Value());
  binding.call.sent.assign(n, false);
  for (const ParamDecl& p : decl.params) binding.call.names.push_back(p.name);
  std::vector<bool> omitted(n, false);
  std::size_t next = 0;
  bool sawNamed = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const CallArg& a = args[i];
    std::size_t slot;
    if (a.name.empty()) {
      if (sawNamed) {
        throw ServerErrorException(
            {119, 1, 15,
             "Must pass parameter number " + std::to_string(i + 1) +
                 " and subsequent parameters as '@name = value'. After the form '@name = "
                 "value' has been used, all subsequent parameters must be passed in the form "
                 "'@name = value'."});
      }
      if (next >= n) {
        throw ServerErrorException(
            {8144, 2, 16,
             "Procedure or function " + procName + " has too many arguments specified."});
      }
      slot = next++;
    } else {
      sawNamed = true;
      auto it = std::find_if(decl.params.begin(), decl.params.end(),
                             [&](const ParamDecl& p) { return Bare(p.name) == Bare(a.name); });
      if (it == decl.params.end()) {
        throw ServerErrorException(
            {8145, 2, 16, a.name + " is not a parameter for procedure " + procName + "."});
      }
      slot = static_cast<std::size_t>(it - decl.params.begin());
    }
    const ParamDecl& formal = decl.params[slot];
    if (a.output && formal.direction == ParamDirection::Input) {
      throw ServerErrorException(
          {8162, 2, 16,
           "The formal parameter \"" + formal.name +
               "\" was not declared as an OUTPUT parameter, but the actual parameter passed in "
               "requested output."});
    }
    binding.slotOf[i] = static_cast<int>(slot);
    omitted[slot] = a.omitted;
    if (!a.defaulted && !a.omitted) {
      try {
        binding.call.values[slot] = ConvertToDeclared(a.value, formal);
      } catch (const std::invalid_argument&) {
        throw ServerErrorException({8114, 5, 16,
                                    "Error converting data type " +
                                        std::string(SqlTypeName(a.type.type)) + " to " +
                                        std::string(SqlTypeName(formal.type)) + "."});
      }
      binding.call.sent[slot] = true;
    }
  }
  for (std::size_t s = 0; s < n; ++s) {
    if (binding.call.sent[s]) continue;
    const ParamDecl& formal = decl.params[s];
    // An omitted argument of a parameter without a default arrives as NULL; FreeTDS's own
    // tests of "{call p(?, , ...)}" rely on that.
    if (!formal.defaultValue && omitted[s]) continue;
    if (!formal.defaultValue) {
      throw ServerErrorException({201, 4, 16,
                                  "Procedure or function '" + procName + "' expects parameter '" +
                                      formal.name + "', which was not supplied."});
    }
    binding.call.values[s] = *formal.defaultValue;
  }
  return binding;
}

Binding BindUndeclared(const std::string& procedure, const std::vector<CallArg>& args) {
  Binding binding;
  binding.call.procedure = procedure;
  for (std::size_t i = 0; i < args.size(); ++i) {
    binding.call.names.push_back(args[i].name);
    binding.call.values.push_back(args[i].value);
    binding.call.sent.push_back(!args[i].defaulted && !args[i].omitted);
    binding.slotOf.push_back(static_cast<int>(i));
  }
  return binding;
}

Value ConvertToDeclared(const Value& v, const ParamDecl& decl) {
  if (v.IsNull()) return v;
  auto fail = [&]() -> Value {
    throw std::invalid_argument("Error converting " + v.ToString() + " to " +
                                std::string(SqlTypeName(decl.type)) + ".");
  };
  auto toText = [&]() -> std::string {
    switch (v.GetKind()) {
      case Value::Kind::Text:
        return v.AsText();
      case Value::Kind::Integer:
        return std::to_string(v.AsInt());
      case Value::Kind::Decimal:
        return v.AsDecimalText();
      case Value::Kind::Float:
        return v.ToString();
      case Value::Kind::DateTime: {
        std::string t = v.ToString();
        return t;
      }
      default:
        fail();
    }
    return {};
  };
  switch (decl.type) {
    case SqlType::Int:
    case SqlType::SmallInt:
    case SqlType::TinyInt:
    case SqlType::BigInt:
    case SqlType::Bit:
      switch (v.GetKind()) {
        case Value::Kind::Integer:
          return decl.type == SqlType::Bit ? Value(v.AsInt() != 0 ? 1 : 0) : v;
        case Value::Kind::Float:
        case Value::Kind::Decimal:
          return Value(static_cast<long long>(v.AsDouble()));
        case Value::Kind::Text:
          try {
            std::size_t used = 0;
            long long n = std::stoll(v.AsText(), &used);
            if (used != v.AsText().size()) fail();
            return decl.type == SqlType::Bit ? Value(n != 0 ? 1 : 0) : Value(n);
          } catch (const std::logic_error&) {
            fail();
          }
          break;
        default:
          fail();
      }
      break;
    case SqlType::Float:
    case SqlType::Real:
      if (v.GetKind() == Value::Kind::Text) {
        try {
          return Value(std::stod(v.AsText()));
        } catch (const std::logic_error&) {
          fail();
        }
      }
      if (v.GetKind() == Value::Kind::Integer || v.GetKind() == Value::Kind::Decimal ||
          v.GetKind() == Value::Kind::Float)
        return Value(v.AsDouble());
      fail();
      break;
    case SqlType::Decimal:
    case SqlType::Numeric:
    case SqlType::Money: {
      int scale = decl.type == SqlType::Money ? 4 : decl.scale;
      try {
        return Value(Decimal{RescaleDecimal(v, scale)});
      } catch (const std::invalid_argument&) {
        fail();
      }
      break;
    }
    case SqlType::DateTime:
      if (v.GetKind() == Value::Kind::DateTime) return v;
      if (v.GetKind() == Value::Kind::Text) {
        DateTime d;
        int n = std::sscanf(v.AsText().c_str(), "%d-%d-%d %d:%d:%d.%d", &d.year, &d.month, &d.day,
                            &d.hour, &d.minute, &d.second, &d.millisecond);
        if (n >= 3) return Value(d);
      }
      fail();
      break;
    case SqlType::Char:
    case SqlType::VarChar:
    case SqlType::NChar:
    case SqlType::NVarChar:
    case SqlType::Text:
    case SqlType::NText: {
      std::string text = toText();
      bool limited = decl.size > 0 && decl.type != SqlType::Text && decl.type != SqlType::NText;
      if (!limited) return Value(text);
      // Cut at the declared length in characters (nchar) or code-page bytes (char).
      bool wide = decl.type == SqlType::NChar || decl.type == SqlType::NVarChar;
      std::string out;
      std::size_t used = 0;
      for (std::size_t i = 0; i < text.size();) {
        std::size_t len = 1;
        auto lead = static_cast<unsigned char>(text[i]);
        if (lead >= 0xF0)
          len = 4;
        else if (lead >= 0xE0)
          len = 3;
        else if (lead >= 0xC0)
          len = 2;
        std::string ch = text.substr(i, len);
        std::size_t cost = wide ? (len == 4 ? 2 : 1) : Utf8ToCp936(ch).size();
        if (used + cost > static_cast<std::size_t>(decl.size)) break;
        used += cost;
        out += ch;
        i += len;
      }
      return Value(out);
    }
    case SqlType::VarBinary:
    case SqlType::Image:
      if (v.GetKind() == Value::Kind::Bytes) {
        Bytes b = v.AsBytes();
        if (decl.type == SqlType::VarBinary && decl.size > 0 &&
            b.size() > static_cast<std::size_t>(decl.size))
          b.resize(static_cast<std::size_t>(decl.size));
        return Value(b);
      }
      fail();
      break;
  }
  return v;
}

}  // namespace quor::test::tds

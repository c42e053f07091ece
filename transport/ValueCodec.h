// Tagged values inside data blocks: a 32-bit OLE Automation type word and a
// body, for every base type the wire knows, by-reference values (including the
// bare 0x4000 form that wraps a whole variant), and arrays of any dimension,
// fixed-size elements as one raw run and the others element by element.
// Object references cross the wire as indices; an ObjectLink turns objects
// into indices and indices into proxies.
#pragma once

#include <cstdint>

#include "platform/com/IDispatchObject.h"
#include "platform/com/Variant.h"
#include "transport/DataBlock.h"

namespace quor::transport {

// What the interpreter offers the codec for object references.
class ObjectLink {
 public:
  virtual ~ObjectLink() = default;
  // Lends one of this side's objects to the peer; the index goes on the wire.
  virtual std::int32_t RegisterObject(const com::Variant& object) = 0;
  // A stand-in for an object the peer lent under that index.
  virtual com::DispatchPtr ProxyFor(std::int32_t index) = 0;
};

// A decoded value with what its type word said about references: byRef for
// any type word with bit 0x4000, byRefVariant for the bare 0x4000 form. The
// value itself is never a reference.
struct ReadValueResult {
  com::Variant value;
  bool byRef = false;
  bool byRefVariant = false;
};

class ValueCodec {
 public:
  explicit ValueCodec(ObjectLink& objects) : objects_(objects) {}

  // A reference is written in the by-reference form its type asks for: a
  // reference to a variant as 0x4000 and the referred value, any other as its
  // type word with 0x4000 and the referred body. InterpreterError
  // "Unsupported variant type: XXXX" for a type the wire cannot carry (objects
  // by reference, IUnknown, 64-bit and machine-sized integers, ...).
  void WriteValue(const com::Variant& value, TDataBlock& block);
  // InterpreterError for unsupported type words and for bodies that do not
  // fit in what is left of the payload ("Invalid data packet"); nothing is
  // allocated beyond what the payload can hold. A body the value types refuse
  // fails with their own errors: text::TextError for a string that is no
  // UTF-16, com::HResultError for array bounds out of the index range. The
  // interpreter answers all of them alike, with an error reply.
  ReadValueResult ReadValue(TDataBlock& block);

 private:
  void Write(const com::Variant& value, TDataBlock& block);
  void WriteArrayValue(com::VarType typeWord, const com::SafeArray& array, TDataBlock& block);
  ReadValueResult Read(TDataBlock& block, int depth);
  com::Variant ReadArrayValue(com::VarType type, TDataBlock& block, int depth);
  com::Variant ReadBody(com::VarType base, TDataBlock& block);

  ObjectLink& objects_;
};

// "Unsupported variant type: 0014" for type word 0x14.
[[noreturn]] void ThrowUnsupportedType(std::uint32_t typeWord);

}  // namespace quor::transport

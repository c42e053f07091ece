// Change logs (deltas) built by hand from the packet layout, for the tests of
// the delta reader and of AS_ApplyUpdates: an int32 field "ID" and a varying
// ANSI string field "Name" (or, with kTextBlob, a text blob "Name"), one record
// per Record call.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace quor::datasnap::test {

class DeltaBuilder {
 public:
  enum NameField { kAnsiString, kTextBlob };

  explicit DeltaBuilder(NameField nameField = kAnsiString) : blob_(nameField == kTextBlob) {
    Bytes({0x96, 0x19, 0xE0, 0xBD});
    Int(1);
    Int(18);
    Word(2);
    recordCountAt_ = bytes_.size();
    Int(0);
    Int(3);
    headerSizeAt_ = bytes_.size();
    Word(0);
    Field("ID", 4, 1, {});
    if (blob_) {
      Field("Name", 4, 0x4B, {{"SUBTYPE", 1, 0x49, {4, 'T', 'e', 'x', 't'}}});
    } else {
      Field("Name", 1, 0x49, {{"WIDTH", 2, 2, {20, 0}}});
    }
    Word(1);  // one packet property
    Property({"DATASET_DELTA", 4, 1, {1, 0, 0, 0}});
    const auto size = static_cast<std::uint16_t>(bytes_.size());
    bytes_[headerSizeAt_] = static_cast<std::uint8_t>(size);
    bytes_[headerSizeAt_ + 1] = static_cast<std::uint8_t>(size >> 8);
  }

  // nullName: the Name field is NULL; notChanged: it is marked unchanged.
  DeltaBuilder& Record(std::uint8_t status, std::int32_t id, const std::string& name,
                       bool nullName = false, bool notChanged = false) {
    bytes_.push_back(status);
    std::uint8_t bits = 0;
    if (nullName) bits |= 1 << 2;
    if (notChanged) bits |= 2 << 2;
    bytes_.push_back(bits);
    Int(id);
    if (!nullName && !notChanged) {
      if (blob_) {
        Int(static_cast<std::int32_t>(name.size()));
      } else {
        bytes_.push_back(static_cast<std::uint8_t>(name.size()));
      }
      bytes_.insert(bytes_.end(), name.begin(), name.end());
    }
    ++records_;
    for (int i = 0; i < 4; ++i) {
      bytes_[recordCountAt_ + i] = static_cast<std::uint8_t>(records_ >> (8 * i));
    }
    return *this;
  }

  std::vector<std::uint8_t> Build() const { return bytes_; }

 private:
  struct Prop {
    std::string name;
    std::uint16_t size;
    std::uint16_t type;
    std::vector<std::uint8_t> data;
  };
  void Bytes(std::initializer_list<std::uint8_t> b) { bytes_.insert(bytes_.end(), b); }
  void Word(std::uint16_t v) {
    Bytes({static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
  }
  void Int(std::int32_t v) {
    for (int i = 0; i < 4; ++i)
      bytes_.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
  }
  void Property(const Prop& p) {
    bytes_.push_back(static_cast<std::uint8_t>(p.name.size()));
    bytes_.insert(bytes_.end(), p.name.begin(), p.name.end());
    Word(p.size);
    Word(p.type);
    bytes_.insert(bytes_.end(), p.data.begin(), p.data.end());
  }
  void Field(const std::string& name, std::uint16_t size, std::uint16_t type,
             const std::vector<Prop>& props) {
    bytes_.push_back(static_cast<std::uint8_t>(name.size()));
    bytes_.insert(bytes_.end(), name.begin(), name.end());
    Word(size);
    Word(type);
    Word(0);
    Word(static_cast<std::uint16_t>(props.size()));
    for (const Prop& p : props) Property(p);
  }

  bool blob_;
  std::vector<std::uint8_t> bytes_;
  std::size_t recordCountAt_ = 0;
  std::size_t headerSizeAt_ = 0;
  std::int32_t records_ = 0;
};

}  // namespace quor::datasnap::test

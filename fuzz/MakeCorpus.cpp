// Writes the seed frames of the frame fuzzer into the folder named on the
// command line: one request of each action, values of every wire shape inside
// an invoke, and a short session of several frames in one input.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/transport/WireBytes.h"

namespace {

using quor::transport::testing::Bytes;
using quor::transport::testing::Frame;
using quor::transport::testing::Wire;

// Object 0 (the test object every fuzzed interpreter starts with), one argument.
Bytes InvokeWith(std::int32_t dispId, const Bytes& argument) {
  return Frame(0xDA02, Wire().Int(0).Int(dispId).Int(1).Bool(true).Int(1).Int(0).Raw(argument));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);

  const Bytes create = Frame(0xDA04, Wire().Str(u"QuorFuzz.Target"));
  const Bytes addOne = InvokeWith(2, Wire().U32(0x4003).U32(5));
  const Bytes free = Frame(0xDA05, Wire().Int(1));
  const struct {
    const char* name;
    Bytes frame;
  } seeds[] = {
      {"create-by-progid", create},
      {"create-by-classid", Frame(0xDA04, Wire().Str(u"{0B7D35A1-6C42-4F0E-8D13-2A9E5C7F1001}"))},
      {"get-ids", Frame(0xDA03, Wire().Int(0).Str(u"AddOne"))},
      {"invoke-by-reference", addOne},
      {"invoke-variant-reference", InvokeWith(1, Wire().U32(0x4000).Str(u"Li"))},
      {"invoke-no-result",
       Frame(0xDA02, Wire().Int(0).Int(1).Int(1).Bool(false).Int(1).Int(0).Int(7))},
      {"invoke-failing", Frame(0xDA02, Wire().Int(0).Int(5).Int(1).Bool(true).Int(0).Int(0))},
      {"echo-empty-null",
       Frame(0xDA02, Wire().Int(0).Int(1).Int(1).Bool(true).Int(2).Int(0).U32(0).U32(1))},
      {"echo-i2", InvokeWith(1, Wire().U32(2).U16(0xFFFE))},
      {"echo-r4", InvokeWith(1, Wire().U32(4).U32(0x3FC00000))},
      {"echo-r8", InvokeWith(1, Wire().U32(5).U64(0xC002000000000000ull))},
      {"echo-currency", InvokeWith(1, Wire().U32(6).U64(15000))},
      {"echo-date", InvokeWith(1, Wire().U32(7).U64(0x3FF0000000000000ull))},
      {"echo-string", InvokeWith(1, Wire().U32(8).U32(2).U16(0xD834).U16(0xDD1E))},
      {"echo-error-code", InvokeWith(1, Wire().U32(10).U32(0x80020004))},
      {"echo-bool", InvokeWith(1, Wire().Bool(true))},
      {"echo-i1", InvokeWith(1, Wire().U32(16).U8(0xFF))},
      {"echo-ui1", InvokeWith(1, Wire().U32(17).U8(200))},
      {"echo-ui2", InvokeWith(1, Wire().U32(18).U16(0xBEEF))},
      {"echo-ui4", InvokeWith(1, Wire().U32(19).U32(0xDEADBEEF))},
      {"echo-byte-array",
       InvokeWith(1, Wire().U32(0x2011).U32(1).U32(0).U32(2).U32(3).U8(1).U8(2).U8(3))},
      {"echo-byte-array-by-reference",
       InvokeWith(1, Wire().U32(0x6011).U32(1).U32(0).U32(0).U32(1).U8(9))},
      {"echo-string-array",
       InvokeWith(1, Wire().U32(0x2008).U32(1).U32(0).U32(1).Str(u"a").Str(u"bc"))},
      {"echo-nested-array",
       InvokeWith(
           1, Wire().U32(0x200C).U32(1).U32(0).U32(0).U32(0x2011).U32(1).U32(0).U32(0).U32(1).U8(
                  0xFF))},
      {"sum-two-dimensions",
       InvokeWith(
           3,
           Wire().U32(0x2003).U32(2).U32(1).U32(5).U32(2).U32(6).U32(16).U32(1).U32(3).U32(2).U32(
               4))},
      {"sum-variant-array",
       InvokeWith(
           3, Wire().U32(0x200C).U32(2).U32(1).U32(0).U32(2).U32(1).Int(10).Str(u"a").U32(1).Bool(
                  true))},
      {"call-back-object",
       Frame(0xDA02, Wire().Int(0).Int(4).Int(1).Bool(true).Int(2).Int(0).Int(3).U32(9).U32(0))},
      {"free", free},
      {"list-servers", Frame(0xDA10, Wire())},
      {"list-app-servers", Frame(0xDA12, Wire())},
      {"peer-error", Frame(0xDB01, Wire().Str(u"client says no"))},
      {"echo-object-references", InvokeWith(1, Wire()
                                                   .U32(0x2009)
                                                   .U32(1)
                                                   .U32(0)
                                                   .U32(3)
                                                   .U32(9)
                                                   .U32(0)
                                                   .U32(9)
                                                   .U32(1)
                                                   .U32(9)
                                                   .U32(2)
                                                   .U32(9)
                                                   .U32(3))},
      {"echo-references-in-variants", InvokeWith(1, Wire()
                                                        .U32(0x200C)
                                                        .U32(1)
                                                        .U32(0)
                                                        .U32(1)
                                                        .U32(9)
                                                        .U32(0)
                                                        .U32(0x200C)
                                                        .U32(1)
                                                        .U32(0)
                                                        .U32(0)
                                                        .U32(9)
                                                        .U32(1))},
      {"echo-deeply-nested-arrays", InvokeWith(1, Wire()
                                                      .U32(0x200C)
                                                      .U32(1)
                                                      .U32(0)
                                                      .U32(0)
                                                      .U32(0x200C)
                                                      .U32(1)
                                                      .U32(0)
                                                      .U32(0)
                                                      .U32(0x200C)
                                                      .U32(1)
                                                      .U32(0)
                                                      .U32(0)
                                                      .U32(0x200C)
                                                      .U32(2)
                                                      .U32(0)
                                                      .U32(0)
                                                      .U32(1)
                                                      .U32(1)
                                                      .U32(0x4000)
                                                      .Int(1)
                                                      .Str(u"x")
                                                      .U32(14)
                                                      .U32(0x2008)
                                                      .U32(1)
                                                      .U32(0)
                                                      .U32(0)
                                                      .Str(u"y"))},
      {"mark-with-upper-bits", Frame(0x7F01DA10, Wire())},
      {"reply-with-other-action", Frame(0xDB03, Wire().Int(0).Int(42))},
      {"session",
       Wire().Raw(create).Raw(addOne).Raw(free).Raw(Frame(0xDA03, Wire().Int(1).Str(u"Echo")))},
  };
  for (const auto& seed : seeds) {
    std::ofstream out(folder / seed.name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(seed.frame.data()),
              static_cast<std::streamsize>(seed.frame.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", seed.name);
      return 1;
    }
  }
  return 0;
}

// The message record the modem driver hands to its events and carries in its
// send tasks, and the three encodings of a message text.
#pragma once

#include <cstdint>
#include <string>

namespace quor::sms {

enum class TEncodeStyle { esSevenBit, esEightBit, esUnicode };

struct TSMSItem {
  int MsgIndex = 0;
  std::string SmscNumber;
  TEncodeStyle Encoding = TEncodeStyle::esUnicode;
  // The service centre's time stamp as "YYYY-MM-DD hh:mm:ss"; empty when the
  // stamp did not convert.
  std::string CentreTime;
  // 1 received unread, 2 received read, 3 stored unsent, 4 stored sent, 0 unknown.
  std::uint8_t MsgStatus = 0;
  std::string MsgText;  // UTF-8; for 8-bit data the bytes as hex text
  std::string DestNumber;
  std::string SenderNumber;
  int Tag = 0;
  int TagData = 0;
};

}  // namespace quor::sms

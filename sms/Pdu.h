// The PDU forms of short messages the modem exchanges in PDU mode: the
// SMS-SUBMIT the server writes after AT+CMGS, and the stored messages
// (SMS-DELIVER, or SMS-SUBMIT for the SIM's own outbox) that +CMGR and +CMGL
// return. Decoding never trusts a length it reads: a PDU that claims more than
// it holds, or an encoding it does not know, does not parse.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sms/SMSItem.h"

namespace quor::sms {

class PduError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Characters per part: 160 septets, 140 bytes or 70 UTF-16 units.
int PartLength(TEncodeStyle style);

// The text cut into parts of PartLength: septets for 7-bit (an extension
// character's two septets stay together), bytes for 8-bit, UTF-16 units for
// UCS-2 (surrogate pairs and UTF-8 characters are never cut apart).
std::vector<std::string> SplitIntoParts(std::string_view utf8, TEncodeStyle style);

struct SubmitHeader {
  std::string hex;  // upper case
  int octets = 0;
};

// "00" (the modem's own service centre), first octet 11, reference 00, the
// destination, protocol 00, the coding and validity 01. A Chinese mobile
// number (11 digits starting with 1, or with 86 or +86 before them) goes in
// international form 86...; any other number starting with "+" is
// international with its country code as written; the rest are sent as they
// are (type 81). Throws PduError for a number with characters other than
// digits (and one leading "+"), or with more than 20 digits.
SubmitHeader BuildSubmitHeader(std::string_view number, TEncodeStyle style);

struct UserData {
  std::string hex;
  int octets = 0;       // n
  int lengthField = 0;  // TP-UDL: septets for 7-bit, else octets
};

UserData EncodeUserData(std::string_view part, TEncodeStyle style);

// 7-bit packing of septets (the first septet in the low bits).
std::string PackSeptets(const std::vector<std::uint8_t>& septets);
// Exactly `count` septets from packed octets, starting `skipBits` bits in.
std::vector<std::uint8_t> UnpackSeptets(const std::vector<std::uint8_t>& octets, std::size_t count,
                                        std::size_t skipBits = 0);

struct SubmitCommand {
  std::string command;  // "AT+CMGS=nnn\r", always three digits
  std::string pdu;      // the PDU hex followed by Ctrl-Z
};

SubmitCommand BuildSubmit(std::string_view number, std::string_view part, TEncodeStyle style);

// The encoding a data-coding octet announces, by the general groups of
// GSM 03.38 (including the message-class and waiting-indication groups);
// none for compressed text and reserved values.
std::optional<TEncodeStyle> EncodingOfDcs(std::uint8_t dcs);

// Fills number, encoding, time stamp and text of `item` from a stored
// message PDU; false when it does not parse.
bool DecodeStoredPdu(std::string_view hex, TSMSItem& item);

// A "+CMGR: stat,[alpha],length" reply with its PDU line.
std::optional<TSMSItem> ParseCmgrReply(std::string_view reply, int index);
// One "+CMGL: index,stat,[alpha],length" entry with its PDU line.
std::optional<TSMSItem> ParseCmglEntry(std::string_view chunk);
// The entries of a listing reply, each from one "+CMGL" up to the next.
std::vector<std::string_view> SplitListing(std::string_view reply);

}  // namespace quor::sms

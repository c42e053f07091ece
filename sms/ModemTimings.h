// The waits of the modem driver. Production uses the values the modem's
// answers are known to need; tests shorten them so that a time-out is reached
// in milliseconds instead of half a minute.
#pragma once

#include <chrono>

namespace quor::sms {

struct ModemTimings {
  using ms = std::chrono::milliseconds;
  ms openAttemptPause{500};    // before each opening attempt, and before AT+CNMI
  ms commandPause{5};          // between the commands of the opening sequence
  ms openReply{2000};          // AT+CMGF and AT+CNMI answers
  ms preamblePause{500};       // before AT+CMGL, AT+CMGR and AT+CMGD
  ms prompt{5000};             // the "> " after AT+CMGS
  ms sendReply{30000};         // the network's answer to a message part
  ms noticeLine{2000};         // the rest of a "+CMTI" line
  ms readSilence{1000};        // AT+CMGR ends after this much silence
  ms listSilence{2000};        // AT+CMGL likewise
  ms deleteReply{2000};        // AT+CMGD answer
  ms unicodePartPause{50};     // after each UCS-2 part
  ms batchFirstReport{30000};  // a batch gives up when its first report takes longer
};

}  // namespace quor::sms

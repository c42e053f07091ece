// A batch of messages: one send per phone appended to the modem's task list,
// then an end marker. Reports reach this batch alone (each task carries its
// own), so batches on several modules never take each other's reports.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "sms/SMSComm.h"

namespace quor::sms {

// One flag per phone (sent or not), then the end marker's (every earlier
// task reported). The wait gives up when no report arrives for
// `firstReport` at the start, or afterwards for as long as one send may take
// with all its attempts plus `firstReport`; the batch's tasks that have not
// started then are dropped, so what is reported is what was sent.
std::vector<bool> SendBatch(TSMSComm& modem, const std::vector<std::string>& phones,
                            const std::string& text, const ModemTimings& timings);

}  // namespace quor::sms

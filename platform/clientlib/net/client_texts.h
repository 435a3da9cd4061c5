// The client library's own texts (connection and answer failures, the wait for the
// server) in one table, Portuguese and English, in the client's language (rt::UiLanguage).
// What the system or a library adds to them (an errno text, a decoder's detail) is shown
// as it comes.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/runtime/ui_language.h"

namespace clib {

enum class TClientText {
  kServerFailure,
  kAnswerTooLarge,  // %1 MiB, over the %2 MiB limit
  kCertificateUnknown,
  kTlsFailed,
  kCaUnreadable,
  kCaUnreadableFrom,   // %1: the file
  kServerSilent,       // %1: host:port, %2: seconds
  kConnectionDropped,  // %1: host:port
  kCannotConnect,      // %1: host:port, %2: why
  kAcceptedButSilent,
  kBadSignInAnswer,   // %1: HTTP status
  kBadArgument,       // %1: method, %2: why
  kWaitingForServer,  // %1: method
  kBadAnswerStatus,   // %1: HTTP status
  kBadAnswer,         // %1: why
  kBadAnswerOf,       // %1: method, %2: why
  // Why an answer is not what its caller expects.
  kExpectedPacket,
  kExpectedFourPackets,
  kExpectedPacketList,  // %1: how many at least
  kExpectedBoolean,
  kNoReportList,
  kNoReport,
  kIncompleteReport,
  kNoReportName,
  kNoReportTitle,
  kNoReportParameters,
  kNoReportParameter,
  kNoReportResult,
  kNoReportRows,
  kNoReportLayout,
  // What the report engine itself writes into a report.
  kReportFilledOf,      // %1 units filled of %2
  kReportRangeAll,      // a range with no bound, or the resulting copy
  kReportRangeBetween,  // %1 to %2
  kReportRangeFrom,     // %1 onwards
  kReportRangeTo,       // up to %1
  kReportNotGiven,      // a parameter run blank
  kReportIssued,        // %1: date and time, %2: operator
  kCount
};

// The text in the given language, its "%1" … markers filled in order.
std::string ClientText(TClientText text, rt::TUiLanguage language,
                       std::initializer_list<std::string_view> arguments = {});
inline std::string ClientText(TClientText text, std::initializer_list<std::string_view> arguments = {}) {
  return ClientText(text, rt::UiLanguage(), arguments);
}

}  // namespace clib

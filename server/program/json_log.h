// Logs for collectors (--log-format json): one JSON object a line,
//   {"time":"2025-01-31T12:00:00.123Z","level":"info","logger":"alloc-server","thread":1234,"message":"..."}
// the time in UTC with milliseconds; the message's invalid UTF-8, if any, replaced.
#pragma once

#include <memory>

#include <spdlog/formatter.h>

namespace srv {

std::unique_ptr<spdlog::formatter> MakeJsonLogFormatter();

}  // namespace srv

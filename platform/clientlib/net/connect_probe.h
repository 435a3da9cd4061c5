// Why a TCP connection cannot be made, in the system's own words ("Connection refused",
// "Connection timed out", "Name or service not known"): the HTTP library only says that
// connecting failed, and the clerk's message should say why.
#pragma once

#include <string>

namespace clib {

// Tries one TCP connection to host:port (closing it at once) and describes its failure;
// when it succeeds after all, says that the server accepted but did not answer.
std::string DescribeConnectFailure(const std::string& host, int port, int timeout_seconds);

}  // namespace clib

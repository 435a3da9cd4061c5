#include "platform/clientlib/net/connect_probe.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/clientlib/net/client_texts.h"

namespace clib {
namespace {

// The errno of one non-blocking connect bounded by the timeout; 0 when it connected.
int TryConnect(const addrinfo& address, int timeout_seconds) {
  const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
  if (fd < 0) return errno;
  int error = 0;
  if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
    error = errno;
    if (error == EINPROGRESS) {
      pollfd waiting{fd, POLLOUT, 0};
      const int ready = ::poll(&waiting, 1, (timeout_seconds > 0 ? timeout_seconds : 1) * 1000);
      if (ready == 0) {
        error = ETIMEDOUT;
      } else if (ready < 0) {
        error = errno;
      } else {
        socklen_t size = sizeof(error);
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
      }
    }
  }
  ::close(fd);
  return error;
}

}  // namespace

std::string DescribeConnectFailure(const std::string& host, int port, int timeout_seconds) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int lookup = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (lookup != 0) return ::gai_strerror(lookup);
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
  int error = 0;
  for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
    error = TryConnect(*address, timeout_seconds);
    if (error == 0) return ClientText(TClientText::kAcceptedButSilent);
  }
  return std::strerror(error);
}

}  // namespace clib

// IAppServer: the application-server interface a connection offers to the screens.
// A call is late-bound by method name with positional arguments (values, or strings
// passed by reference that the server may rewrite) and returns the wrapped answer that
// CheckResultServ unwraps. The network connection implements it; screen tests put an
// in-process double behind a connection instead (TNetConnectionComponent::SetAppServer).
#pragma once

#include <string>
#include <vector>

#include "platform/clientlib/net/net_connection.h"

namespace clib {

class IAppServer {
 public:
  virtual ~IAppServer() = default;
  virtual ServerAnswer Call(const std::string& method, std::vector<Arg> args) = 0;
};

}  // namespace clib

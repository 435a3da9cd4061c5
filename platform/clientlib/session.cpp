#include "platform/clientlib/session.h"

namespace clib {

TSession& Session() {
  static TSession session;
  return session;
}

std::string FiliProc() { return Session().branch; }
std::string Operador() { return Session().operator_name; }
std::string WebURL() { return Session().host; }
int WebPort() { return Session().port; }

}  // namespace clib

// The session of the signed-in operator: the process-wide values the host fills from its
// sign-in (branch, operator, password, application server host and port) and that every
// screen reads through FiliProc, Operador, WebURL and WebPort.
#pragma once

#include <string>

namespace clib {

struct TSession {
  std::string branch;         // FiliProc: the user's branch code, e.g. "0001"
  std::string operator_name;  // Operador
  std::string password;       // credentials the connections sign in with
  std::string host = "127.0.0.1";
  int port = 8211;
};

// The one session of the process. The host writes it after its sign-in; tests set it.
TSession& Session();

std::string FiliProc();
std::string Operador();
std::string WebURL();
int WebPort();

}  // namespace clib

// Unwrapping server answers and ending an operation with a message.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/clientlib/net/net_connection.h"
#include "platform/runtime/variant.h"

namespace clib {

// A failure the application server reported (or the failure to reach it). what() is the
// server's own text; the application's exception handler shows it as an error dialog.
class EServerError : public std::runtime_error {
 public:
  EServerError(const std::string& text, int code, int help_context)
      : std::runtime_error(text), code_(code), help_context_(help_context) {}
  int Code() const { return code_; }  // JSON-RPC code; 0 for a transport failure
  int HelpContext() const { return help_context_; }

 private:
  int code_;
  int help_context_;
};

// The payload of a successful answer. A failed answer raises EServerError with the
// server's text when raise_on_error is true (the way every screen calls it), and gives
// Null otherwise. help_context travels with the error for the dialog.
rt::Variant CheckResultServ(const ServerAnswer& answer, bool raise_on_error = true, int help_context = 0);

// Raises EServerError for an answer of `method` that is not what its caller expects
// ("Resposta inválida do servidor de aplicação em METHOD: WHY", in the clerk's language).
[[noreturn]] void ThrowBadAnswer(const std::string& method, const std::string& why);

// Shows text as an error dialog through the dialog service, then ends the operation in
// progress with the silent abort (rt::EAbort). With abort false it only shows the text.
void MensErro(const std::string& text, bool abort = true);

}  // namespace clib

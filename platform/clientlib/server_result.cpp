#include "platform/clientlib/server_result.h"

#include "platform/clientlib/net/client_texts.h"
#include "platform/runtime/abort.h"
#include "platform/runtime/ui/services.h"

namespace clib {

rt::Variant CheckResultServ(const ServerAnswer& answer, bool raise_on_error, int help_context) {
  if (answer.ok) return answer.value;
  if (raise_on_error) throw EServerError(answer.error_text, answer.error_code, help_context);
  return rt::Variant();
}

void MensErro(const std::string& text, bool abort) {
  rt::Dialogs().MessageDlg(text, rt::mtError, {rt::mbOK}, 0);
  if (abort) rt::Abort();
}

void ThrowBadAnswer(const std::string& method, const std::string& why) {
  throw EServerError(ClientText(TClientText::kBadAnswerOf, {method, why}), 0, 0);
}

}  // namespace clib

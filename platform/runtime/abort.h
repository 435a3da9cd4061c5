// The silent abort: an exception that ends the operation in progress without a message.
// Before-events of a dataset throw it (or any exception) to refuse an operation; the
// application's exception handler swallows it where others are shown to the user.
#pragma once

#include <exception>

namespace rt {

class EAbort : public std::exception {
 public:
  const char* what() const noexcept override;
};

// Throws EAbort.
[[noreturn]] void Abort();

}  // namespace rt

// The runtime's failures form one family under rt::Exception, so that a caller catches
// one base whatever layer failed: data (EDatabaseError), conversions (EConvertError),
// controls (EInvalidOperation), components (EComponentError), lists (EListError) and
// layouts (ELayoutError). The silent abort (EAbort, abort.h) is apart: it is no failure.
#pragma once

#include <stdexcept>

namespace rt {

class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A component name that clashes or is no identifier, or a component that is missing.
class EComponentError : public Exception {
 public:
  using Exception::Exception;
};

// An index outside a list (the grid's columns).
class EListError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace rt

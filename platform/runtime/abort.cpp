#include "platform/runtime/abort.h"

namespace rt {

const char* EAbort::what() const noexcept { return "Operation aborted"; }

void Abort() { throw EAbort(); }

}  // namespace rt

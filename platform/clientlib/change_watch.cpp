#include "platform/clientlib/change_watch.h"

namespace clib {
namespace {
IChangeWatch*& Installed() {
  static IChangeWatch* watch = nullptr;
  return watch;
}
}  // namespace

void InstallChangeWatch(IChangeWatch* watch) { Installed() = watch; }
IChangeWatch* ChangeWatch() { return Installed(); }

}  // namespace clib

#include "platform/runtime/blocking_wait.h"

namespace rt {

namespace {

class TInlineWait : public IBlockingWait {
 public:
  void Wait(const std::string&, const std::function<void()>& work) override { work(); }
};

IBlockingWait* g_wait = nullptr;

}  // namespace

void InstallBlockingWait(IBlockingWait* wait) { g_wait = wait; }

IBlockingWait& BlockingWait() {
  static TInlineWait inline_wait;
  return g_wait ? *g_wait : inline_wait;
}

}  // namespace rt

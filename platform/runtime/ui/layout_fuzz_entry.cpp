#include "platform/runtime/ui/layout_fuzz_entry.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "platform/runtime/ui/application.h"
#include "platform/runtime/ui/forms.h"
#include "platform/runtime/ui/layout.h"

namespace rt {
namespace {

constexpr const char* kResource = "TFRMFUZZ";

// A form class built from the fuzzed resource, publishing a handler of each common
// shape so that event wiring is reached too.
class TfrmFuzz : public TForm {
 public:
  using TForm::TForm;
  std::string ClassName() const override { return "TfrmFuzz"; }
  void FormCreate(TObject*) {}
  void AnyClick(TObject*) {}
  void AnyKeyPress(TObject*, char&) {}

 protected:
  std::vector<std::string> LayoutResources() const override { return {kResource}; }
  void PublishHandlers() override {
    Publish("FormCreate", &TfrmFuzz::FormCreate);
    Publish("Click", &TfrmFuzz::AnyClick);
    Publish("KeyPress", &TfrmFuzz::AnyKeyPress);
  }
};

TModuleRecord& FuzzModule() {
  static TModuleRecord* module = [] {
    auto* m = new TModuleRecord;
    m->name = "fuzz";
    RegisterModule(m);
    return m;
  }();
  return *module;
}

}  // namespace

std::string CheckOneLayout(const std::uint8_t* data, std::size_t size) {
  TModuleRecord& module = FuzzModule();
  module.resources[kResource] = std::string(reinterpret_cast<const char*>(data), size);
  const std::size_t forms_before = Screen().Forms().size();
  try {
    std::unique_ptr<TfrmFuzz> form(CreateForm<TfrmFuzz>(nullptr));
  } catch (const ELayoutError&) {
  } catch (const std::exception& e) {
    return std::string("not a layout error: ") + e.what();
  } catch (...) {
    return "not a layout error: an exception of another type";
  }
  if (Screen().Forms().size() != forms_before) return "a form was left behind";
  return "";
}

int FuzzOneLayout(const std::uint8_t* data, std::size_t size) {
  const std::string broken = CheckOneLayout(data, size);
  if (!broken.empty()) {
    std::fprintf(stderr, "layout reader: %s\n", broken.c_str());
    std::abort();
  }
  return 0;
}

}  // namespace rt

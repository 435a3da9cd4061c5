// The library's attach and detach entry. On load it records the library's own file,
// looks for the language resource module beside it (a missing one is no failure: the
// library's own resources serve), and registers the module with the runtime, which
// makes its layouts findable (the report definitions of its report code "EVT047" live
// on the application server). On unload it unregisters it and releases the language
// resource module.
#include <dlfcn.h>

#include <cstdio>
#include <exception>

#include "module/contracts/resources.h"
#include "platform/clientlib/lifetime.h"
#include "platform/runtime/ui/layout.h"

namespace {

rt::TModuleRecord& Module() {
  static rt::TModuleRecord record;
  return record;
}

// The path of the file this code was loaded from (the library itself).
std::string OwnPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnPath), &info) == 0 || !info.dli_fname) return "";
  return info.dli_fname;
}

__attribute__((constructor)) void LibraryAttach() {
  try {
    rt::TModuleRecord& module = Module();
    module.name = "Pkg_EVT04700";
    module.library_path = OwnPath();
    module.resources = {{"TFRMALOCAMAO", kLayoutTFRMALOCAMAO}, {"TFRMRELALOCMOBRA", kLayoutTFRMRELALOCMOBRA}};
    if (auto language = rt::FindResourceModule(module.library_path, rt::CurrentUiLocale())) {
      try {
        module.resource_module = rt::TResourceModule::LoadFromFile(*language);
      } catch (const std::exception& e) {  // an unreadable one: keep the library's own texts
        std::fprintf(stderr, "Pkg_EVT04700: language module %s ignored: %s\n", language->c_str(), e.what());
      }
    }
    rt::RegisterModule(&module);
    clib::WatchRuntimeShutdown();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Pkg_EVT04700: could not register the module: %s\n", e.what());
  }
}

// At program exit a library still loaded is detached after the host's registries were
// destroyed: there is nothing left to unregister from then.
__attribute__((destructor)) void LibraryDetach() {
  if (clib::RuntimeShuttingDown()) return;
  rt::UnregisterModule(&Module());
  Module().resource_module.reset();
}

}  // namespace

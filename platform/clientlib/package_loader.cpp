#include "platform/clientlib/package_loader.h"

#include <dlfcn.h>

namespace clib {

std::unique_ptr<TPackage> TPackage::Load(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    throw EPackageError("Cannot load package " + path + ": " + (why ? why : "unknown error"));
  }
  std::unique_ptr<TPackage> package(new TPackage(path, handle));
  if (!package->FindSymbol("Initialize") || !package->FindSymbol("Finalize")) {
    package->handle_ = nullptr;  // not a package: release it without running anything
    dlclose(handle);
    throw EPackageError("Cannot load package " + path + ": it has no Initialize/Finalize");
  }
  package->Call("Initialize");
  return package;
}

TPackage::~TPackage() {
  if (!handle_) return;
  Symbol<void()>("Finalize")();
  dlclose(handle_);
}

void* TPackage::FindSymbol(const std::string& name) const { return handle_ ? dlsym(handle_, name.c_str()) : nullptr; }

}  // namespace clib

// The host side of package libraries: load a library file, run its unit start-up
// (Initialize), reach its exports by name, and on unload run its shut-down (Finalize)
// before releasing the file. Screens the package created must be closed (and released)
// before it is unloaded: their code lives in the library.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace clib {

// A library that cannot be loaded, or lacks an export that was asked for.
class EPackageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TPackage {
 public:
  // dlopen (symbols resolved now, kept local), then Initialize. Throws EPackageError
  // with the loader's text when the file cannot be loaded or has no
  // Initialize/Finalize; nothing stays loaded then.
  static std::unique_ptr<TPackage> Load(const std::string& path);
  ~TPackage();  // Finalize, then dlclose
  TPackage(const TPackage&) = delete;
  TPackage& operator=(const TPackage&) = delete;

  const std::string& Path() const { return path_; }
  // The address of an export; nullptr when absent.
  void* FindSymbol(const std::string& name) const;
  // An exported procedure or variable; EPackageError naming it when absent.
  template <class T>
  T* Symbol(const std::string& name) const {
    if (void* p = FindSymbol(name)) return reinterpret_cast<T*>(p);
    throw EPackageError("Package " + path_ + " has no export " + name);
  }
  // Calls an exported procedure without arguments.
  void Call(const std::string& name) const { Symbol<void()>(name)(); }

 private:
  TPackage(std::string path, void* handle) : path_(std::move(path)), handle_(handle) {}
  std::string path_;
  void* handle_;
};

}  // namespace clib

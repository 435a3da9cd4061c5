// One server per data folder: a lock on DIR/alloc.lock held for the life of the process.
#pragma once

#include <string>

namespace srv {

class DataFolderLock {
 public:
  enum class Outcome { Held, InUse, CannotWrite };

  // Takes the lock of `folder` (creating its lock file). InUse: another live process
  // holds it; `detail` then names that process. CannotWrite: the folder refuses the
  // lock file (read-only, no permission); `detail` says why.
  Outcome Take(const std::string& folder);
  const std::string& detail() const { return detail_; }

  DataFolderLock() = default;
  ~DataFolderLock();
  DataFolderLock(const DataFolderLock&) = delete;
  DataFolderLock& operator=(const DataFolderLock&) = delete;

 private:
  int fd_ = -1;
  std::string detail_;
};

}  // namespace srv

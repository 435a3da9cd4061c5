#include "server/core/data_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace srv {

// The kernel drops the lock when the process ends, however it ends, so a server that
// was killed never leaves its folder locked.
DataFolderLock::Outcome DataFolderLock::Take(const std::string& folder) {
  const std::string path = (std::filesystem::path(folder) / "alloc.lock").string();
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    detail_ = "cannot write " + path + ": " + std::strerror(errno);
    return Outcome::CannotWrite;
  }
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    char pid[32] = {};
    const ssize_t got = ::pread(fd_, pid, sizeof pid - 1, 0);
    detail_ = "the data folder " + folder + " is in use by another alloc-server";
    if (got > 0) detail_ += " (pid " + std::string(pid, static_cast<std::size_t>(got)) + ")";
    ::close(fd_);
    fd_ = -1;
    return Outcome::InUse;
  }
  // The pid only helps the message of a second server: a full disk must not stop this one.
  const std::string own = std::to_string(::getpid());
  if (::ftruncate(fd_, 0) == 0 && ::pwrite(fd_, own.data(), own.size(), 0) < 0) detail_ = std::strerror(errno);
  return Outcome::Held;
}

DataFolderLock::~DataFolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace srv

// The server on SQLite when its data folder fails it: a data file that is not a database
// or is damaged and a folder that cannot be written are refused at start, with a clear
// message and exit code, and the file is left as it was; a disk that fills up while the
// server runs refuses the saves with a clear text, loses none that was acknowledged, and
// the saves go through again once the disk has room. The full and read-only disks are
// small file systems mounted by the test, which needs root for that (skipped otherwise).
#include <sys/mount.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "server/core/database.h"
#include "server/rpc/saving_clerks_for_tests.h"
#include "server/rpc/server_process_for_tests.h"

namespace srv {
namespace {

using fakes::ServerProcess;
using fakes::TempDir;
using ::testing::HasSubstr;

std::string ReadAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> ServerArgs(const std::filesystem::path& data) {
  return {"--port", "0", "--data", data.string(), "--seed-demo", "--password-iterations", "1000", "--log-level", "off"};
}

// A tmpfs of `size` mounted on a folder of its own, unmounted at the end.
class SmallDisk {
 public:
  explicit SmallDisk(const std::string& size) {
    if (::geteuid() != 0) return;
    mounted_ = ::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool mounted() const { return mounted_; }
  const std::filesystem::path& path() const { return dir_.path(); }
  bool ReadOnly() const { return ::mount("tmpfs", dir_.path().c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0; }

 private:
  TempDir dir_;
  bool mounted_ = false;
};

struct StartRefusal {
  std::string name;
  std::function<void(const std::filesystem::path& data)> spoil;
  int code;
  std::string message;
};

TEST(SqliteFaults, ADataFileThatIsNotADatabaseOrIsDamagedIsRefusedAndLeftAsItWas) {
  const auto seeded = [](const std::filesystem::path& data) {
    ServerProcess server;
    ASSERT_TRUE(server.Start(ServerArgs(data))) << server.Output();
    ASSERT_EQ(server.Stop(), 0);
  };
  const std::vector<StartRefusal> cases = {
      {"not a database",
       [](const std::filesystem::path& data) { std::ofstream(data / "alloc.db") << std::string(8192, 'x'); }, 5,
       "not a database or is damaged"},
      {"damaged pages",
       [&](const std::filesystem::path& data) {
         seeded(data);
         std::fstream file(data / "alloc.db", std::ios::in | std::ios::out | std::ios::binary);
         constexpr std::streamoff kPage = 4096;
         file.seekp(kPage * 2);  // past the header page: the tables' pages
         file << std::string(static_cast<std::size_t>(kPage) * 3, '\xa5');
       },
       5, "not a database or is damaged"},
  };
  for (const StartRefusal& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir data;
    c.spoil(data.path());
    const std::string before = ReadAll(data.path() / "alloc.db");
    ServerProcess server;
    EXPECT_FALSE(server.Start(ServerArgs(data.path())));
    EXPECT_EQ(server.Wait(), c.code) << server.Output();
    EXPECT_THAT(server.Output(), HasSubstr(c.message));
    EXPECT_EQ(ReadAll(data.path() / "alloc.db"), before) << "the data file was written to";
  }
}

TEST(SqliteFaults, AFolderThatCannotBeWrittenIsRefusedAtStart) {
  SmallDisk disk("1m");
  if (!disk.mounted()) GTEST_SKIP() << "a read-only file system needs root to mount";
  ASSERT_TRUE(disk.ReadOnly());
  ServerProcess server;
  EXPECT_FALSE(server.Start(ServerArgs(disk.path())));
  EXPECT_EQ(server.Wait(), 3) << server.Output();
  EXPECT_THAT(server.Output(), HasSubstr("the data folder cannot be written"));
}

// Saves until one is refused (at most `tries`); the refusals' texts.
std::vector<std::string> SaveUntilRefused(clib::TNetConnection& net, const testing::OwnedAllocation& owned, int& acked,
                                          int tries) {
  std::vector<std::string> refusals;
  for (int i = 0; i < tries && refusals.empty(); ++i) {
    const clib::ServerAnswer answer = net.Call("SetForneMao", {owned.Save(acked)});
    if (answer.ok) {
      ++acked;
    } else {
      refusals.push_back(answer.error_text);
    }
  }
  return refusals;
}

TEST(SqliteFaults, AFullDiskRefusesSavesClearlyAndKeepsWhatWasAcknowledged) {
  SmallDisk disk("6m");
  if (!disk.mounted()) GTEST_SKIP() << "a small file system needs root to mount";
  ServerProcess server;
  ASSERT_TRUE(server.Start(ServerArgs(disk.path()))) << server.Output();
  clib::TNetConnection net;
  fakes::SignInToLoopback(net, server.Port(), 5, 30);
  const testing::OwnedAllocation& owned = testing::DemoOwnedAllocations().front();
  int acked = 0;
  ASSERT_THAT(SaveUntilRefused(net, owned, acked, 3), ::testing::IsEmpty());

  {
    std::ofstream filler(disk.path() / "filler", std::ios::binary);
    const std::string block(1 << 16, '\0');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size()))) {
    }
  }
  const std::vector<std::string> refusals = SaveUntilRefused(net, owned, acked, 2000);
  ASSERT_EQ(refusals.size(), 1u) << "no save refused on a full disk";
  EXPECT_EQ(refusals.front(), texts::kDiskFull);
  std::filesystem::remove(disk.path() / "filler");
  EXPECT_THAT(SaveUntilRefused(net, owned, acked, 3), ::testing::IsEmpty());
  ASSERT_EQ(server.Stop(), 0);
  const auto stored = OpenSqlite((disk.path() / "alloc.db").string());
  EXPECT_EQ(stored->Query("PRAGMA integrity_check").Text(0, 0), "ok");
  EXPECT_EQ(owned.StoredStep(*stored), acked);
}

}  // namespace
}  // namespace srv

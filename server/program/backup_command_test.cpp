// `alloc-server --backup` while clerks save, and `--restore` into a stopped server's
// data folder, run as an operator runs them: the real program on the real files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "server/core/database.h"
#include "server/core/service_fixture.h"
#include "server/program/exit_codes.h"
#include "server/rpc/saving_clerks_for_tests.h"
#include "server/rpc/server_process_for_tests.h"

namespace srv {
namespace {

using fakes::ServerProcess;
using fakes::TempDir;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

constexpr std::size_t kClerks = 4;

std::vector<std::string> ServerArgs(const fs::path& data) {
  return {"--port", "0", "--data", data.string(), "--seed-demo", "--log-level", "warn", "--password-iterations", "1000"};
}

// Runs the program for one command that ends by itself; returns its exit code.
int RunCommand(ServerProcess& process, const std::vector<std::string>& args) {
  EXPECT_FALSE(process.Start(args)) << "the command started serving";
  return process.ExitCode();
}

std::string FirstColumn(Database& db, const std::string& sql) {
  const ResultSet rows = db.Query(sql);
  std::string text;
  for (std::size_t i = 0; i < rows.size(); ++i) text += rows.Text(i, 0) + "\n";
  return text;
}

std::vector<int> AckedSaves(const fakes::SavingClerks& clerks) {
  std::vector<int> acked;
  for (const fakes::ClerkRecord& record : clerks.Records()) acked.push_back(record.acked);
  return acked;
}

TEST(BackupAndRestore, ABackupTakenDuringSavesRestoresEverySaveAcknowledgedBeforeIt) {
  TempDir work;
  const fs::path live = work.path() / "live", restored = work.path() / "restored";
  const fs::path backup = work.path() / "alloc-backup.db";
  ServerProcess server;
  ASSERT_TRUE(server.Start(ServerArgs(live))) << server.Output();

  std::vector<int> acked_before, acked_after;
  {
    fakes::SavingClerks clerks(server.Port(), kClerks);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    acked_before = AckedSaves(clerks);
    ServerProcess backup_run;
    ASSERT_EQ(RunCommand(backup_run, {"--data", live.string(), "--backup", backup.string()}), 0) << backup_run.Output();
    const std::vector<int> acked_at_backup_end = AckedSaves(clerks);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    clerks.Finish();
    acked_after = AckedSaves(clerks);
    for (std::size_t i = 0; i < kClerks; ++i) {
      EXPECT_GT(acked_after[i], acked_at_backup_end[i]) << "clerk " << i << " kept saving after the backup";
    }
    for (const fakes::ClerkRecord& record : clerks.Records()) EXPECT_TRUE(record.unexpected.empty());
  }
  int total_before = 0;
  for (const int n : acked_before) total_before += n;
  ASSERT_GT(total_before, 0) << "saves were acknowledged before the backup began";

  ServerProcess refused;
  EXPECT_EQ(RunCommand(refused, {"--data", live.string(), "--restore", backup.string()}), kExitFolderInUse);
  EXPECT_THAT(refused.Output(), HasSubstr("in use by another alloc-server"));
  EXPECT_EQ(server.Stop(), 0);

  fs::create_directories(restored);
  ServerProcess restore_run;
  ASSERT_EQ(RunCommand(restore_run, {"--data", restored.string(), "--restore", backup.string()}), 0)
      << restore_run.Output();
  {
    auto db = OpenSqlite((restored / "alloc.db").string());
    EXPECT_EQ(FirstColumn(*db, "PRAGMA integrity_check"), "ok\n");
    EXPECT_EQ(FirstColumn(*db, "PRAGMA foreign_key_check"), "");
    for (std::size_t i = 0; i < kClerks; ++i) {
      const int step = testing::DemoOwnedAllocations().at(i).StoredStep(*db);
      EXPECT_GE(step, acked_before[i]) << "clerk " << i << ": a save acknowledged before the backup is missing";
      EXPECT_LE(step, acked_after[i]) << "clerk " << i;
    }
  }
  // The restored folder serves.
  ServerProcess on_restored;
  ASSERT_TRUE(on_restored.Start(ServerArgs(restored))) << on_restored.Output();
  EXPECT_EQ(on_restored.Stop(), 0);
}

// A restore over an existing database keeps the one it replaces, whole; a file that is
// not a whole backup is refused and changes nothing; a backup never overwrites a file.
TEST(BackupAndRestore, RefusalsChangeNothingAndTheReplacedDatabaseIsKept) {
  TempDir work;
  const fs::path first = work.path() / "first", second = work.path() / "second";
  const fs::path backup = work.path() / "first.backup";
  for (const fs::path& folder : {first, second}) {
    ServerProcess seeding;
    ASSERT_TRUE(seeding.Start(ServerArgs(folder))) << seeding.Output();
    EXPECT_EQ(seeding.Stop(), 0);
  }
  {
    auto db = OpenSqlite((second / "alloc.db").string());
    db->Execute("UPDATE branches SET name = 'only in the second' WHERE code = '0001'");
  }
  ServerProcess backup_run;
  ASSERT_EQ(RunCommand(backup_run, {"--data", first.string(), "--backup", backup.string()}), 0) << backup_run.Output();
  const auto backup_size = fs::file_size(backup);
  ServerProcess again;
  EXPECT_EQ(RunCommand(again, {"--data", first.string(), "--backup", backup.string()}), kExitDatabase);
  EXPECT_THAT(again.Output(), HasSubstr("already exists"));
  EXPECT_EQ(fs::file_size(backup), backup_size);

  const fs::path garbage = work.path() / "garbage.db";
  std::ofstream(garbage) << "not a database at all, but long enough to look like a header of one....";
  const fs::path foreign = work.path() / "foreign.db";
  OpenSqlite(foreign.string())->Execute("CREATE TABLE t (x INTEGER)");
  const fs::path newer = work.path() / "newer.db";
  fs::copy_file(backup, newer);
  OpenSqlite(newer.string())->Execute("INSERT INTO schema_version (version, applied_at) VALUES (999, 0)");
  struct Case {
    fs::path file;
    int exit_code;
    std::string says;
  };
  for (const Case& c : std::vector<Case>{{garbage, kExitDamaged, "integrity_check"},
                                         {foreign, kExitDamaged, "not one of alloc-server"},
                                         {newer, kExitSchemaTooNew, "newer alloc-server"},
                                         {work.path() / "missing.db", kExitDatabase, "no file"}}) {
    ServerProcess restore_run;
    EXPECT_EQ(RunCommand(restore_run, {"--data", second.string(), "--restore", c.file.string()}), c.exit_code)
        << c.file;
    EXPECT_THAT(restore_run.Output(), HasSubstr(c.says));
    auto db = OpenSqlite((second / "alloc.db").string());
    EXPECT_EQ(FirstColumn(*db, "SELECT name FROM branches WHERE code = '0001'"), "only in the second\n") << c.file;
  }

  ServerProcess restore_run;
  ASSERT_EQ(RunCommand(restore_run, {"--data", second.string(), "--restore", backup.string()}), 0)
      << restore_run.Output();
  EXPECT_THAT(restore_run.Output(), HasSubstr("the database it replaced is kept as"));
  fs::path kept;
  for (const auto& entry : fs::directory_iterator(second)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("alloc.db.replaced-") && !name.ends_with("-wal") && !name.ends_with("-shm")) kept = entry;
  }
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(FirstColumn(*OpenSqlite(kept.string()), "SELECT name FROM branches WHERE code = '0001'"),
            "only in the second\n");
  EXPECT_NE(FirstColumn(*OpenSqlite((second / "alloc.db").string()), "SELECT name FROM branches WHERE code = '0001'"),
            "only in the second\n");
}

}  // namespace
}  // namespace srv

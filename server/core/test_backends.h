// Test support (included by the *_test.cpp files only): one suite, two databases.
// Every test gets a fresh database: a SQLite file in its own temporary directory, or a
// PostgreSQL schema with a random name when ALLOC_TEST_PG holds a libpq connection
// string (skipped with the reason otherwise), dropped at the end.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "platform/runtime/packet.h"
#include "server/core/database.h"
#include "server/core/service_factory.h"
#include "server/core/storage.h"

namespace srv::testing {

using Backend = StorageConfig::Backend;

inline std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::Sqlite ? "SQLite" : "PostgreSQL";
}

inline std::string RandomSuffix() {
  std::random_device rd;
  std::mt19937_64 gen(rd());
  char text[20];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(gen()));
  return text;
}

// A fresh, empty, migrated-on-open database of the parameter's backend.
class BackendTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (GetParam() == Backend::Postgres) {
      const char* conninfo = std::getenv("ALLOC_TEST_PG");
      if (!conninfo || !*conninfo) GTEST_SKIP() << "PostgreSQL not tested: ALLOC_TEST_PG is empty";
      config_ = StorageConfig::Postgres(conninfo, "alloc_test_" + RandomSuffix());
    } else {
      dir_ = std::filesystem::temp_directory_path() / ("alloc_core_" + RandomSuffix());
      std::filesystem::create_directories(dir_);
      config_ = StorageConfig::Sqlite((dir_ / "alloc.db").string());
    }
    config_.pbkdf2_iterations = 1000;  // production uses 200,000; tests stay fast
  }

  void TearDown() override {
    if (GetParam() == Backend::Postgres && !config_.pg_schema.empty()) {
      try {
        auto db = OpenPostgres(config_.target, "");
        db->ExecuteScript("DROP SCHEMA IF EXISTS " + config_.pg_schema + " CASCADE");
      } catch (...) {  // a failed drop must not hide the test's own result
      }
    }
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  std::unique_ptr<Database> Connect() { return OpenDatabase(config_); }

  StorageConfig config_;
  std::filesystem::path dir_;
};

}  // namespace srv::testing

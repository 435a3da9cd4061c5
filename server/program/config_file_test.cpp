// The configuration file: its format, its refusals with line and reason, and the program
// started with one (the command line wins over it; a bad file stops it at start).
#include "server/program/config_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "server/program/exit_codes.h"
#include "server/rpc/server_process_for_tests.h"

namespace srv {
namespace {

using fakes::ServerProcess;
using fakes::TempDir;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

TEST(ConfigText, CommentsBlanksQuotesAndSpacesAroundTheEquals) {
  const std::vector<ConfigEntry> entries = ParseConfigText(
      "# alloc-server\n"
      "\n"
      "  listen=0.0.0.0  \r\n"
      "port = 8211\n"
      "database = \"host=db dbname=alloc password=a#b\\\"c\\\\\"\n"
      "pg-schema = site_one # not a comment: kept with the value\n"
      "tls-key =\n"
      "stop-timeout = 30");
  ASSERT_EQ(entries.size(), 6u);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"listen", "0.0.0.0"},   {"port", "8211"},
      {"database", "host=db dbname=alloc password=a#b\"c\\"},
      {"pg-schema", "site_one # not a comment: kept with the value"},
      {"tls-key", ""},         {"stop-timeout", "30"}};
  const std::vector<int> lines = {3, 4, 5, 6, 7, 8};
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].key, expected[i].first);
    EXPECT_EQ(entries[i].value, expected[i].second);
    EXPECT_EQ(entries[i].line, lines[i]);
  }
}

TEST(ConfigText, ABadLineIsRefusedWithItsNumberAndTheReason) {
  struct Case {
    std::string text;
    int line;
    std::string reason;
  };
  for (const Case& c : std::vector<Case>{
           {"port 8211\n", 1, "expected `option = value`"},
           {"# ok\n= 3\n", 2, "no option name"},
           {"port = 1\n\n--port = 2\n", 3, "not an option name"},
           {"Port = 1\n", 1, "not an option name"},
           {"port = 1\nlisten = ::1\nport = 2\n", 3, "given twice (first on line 1)"},
           {"database = \"host=db\n", 1, "not closed"},
           {"database = \"host\" db\n", 1, "after the closing quote"},
           {"database = \"a\\b\"\n", 1, "backslash"},
       }) {
    try {
      ParseConfigText(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const ConfigFileError& e) {
      EXPECT_EQ(e.line, c.line) << c.text;
      EXPECT_THAT(e.what(), HasSubstr(c.reason)) << c.text;
    }
  }
}

std::string WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path) << text;
  return path.string();
}

// Every option of the file is taken, except those the command line gives, and the logs
// come as one JSON object a line.
TEST(ConfigFile, TheServerTakesItsOptionsAndTheCommandLineWins) {
  TempDir work;
  const fs::path data = work.path() / "data";
  const int port_in_file = fakes::UnusedPort();
  const std::string file = WriteFile(work.path() / "alloc-server.conf",
                                     "# a site's settings\n"
                                     "listen = 127.0.0.1\n"
                                     "port = " + std::to_string(port_in_file) + "\n"
                                     "data = \"" + data.string() + "\"\n"
                                     "seed-demo = yes\n"
                                     "log-level = debug\n"
                                     "log-format = json\n"
                                     "password-iterations = 1000\n"
                                     "threads = 3\n");
  ServerProcess server;
  ASSERT_TRUE(server.Start({"--config", file, "--port", "0", "--log-level", "info"})) << server.Output();
  EXPECT_NE(server.Port(), port_in_file) << "the command line's --port wins";
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_TRUE(fs::exists(data / "alloc.db")) << "the file's data folder is used";
  const std::string output = server.Output();
  EXPECT_THAT(output, HasSubstr("demo data seeded"));
  EXPECT_THAT(output, HasSubstr("serving with 3 worker threads"));
  int json_lines = 0;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line.front() != '{') continue;
    const nlohmann::json entry = nlohmann::json::parse(line);  // throws on a line that is not one object
    EXPECT_TRUE(entry.contains("time") && entry.contains("level") && entry.contains("message")) << line;
    EXPECT_NE(entry["level"], "debug") << "the command line's --log-level info wins: " << line;
    ++json_lines;
  }
  EXPECT_GE(json_lines, 2) << output;
}

TEST(ConfigFile, ABadFileStopsTheServerAtStartWithTheLineAndTheReason) {
  TempDir work;
  const fs::path data = work.path() / "data";
  struct Case {
    std::string text;
    std::string says;
  };
  for (const Case& c : std::vector<Case>{
           {"# fine\nport = 0\nthreads = 99999\n", "alloc-server.conf:3: --threads: Value 99999 not in range"},
           {"log-format = xml\n", "alloc-server.conf:1: --log-format: xml not in {text,json}"},
           {"port = 0\nno-such-option = 1\n", "alloc-server.conf:2: unknown option 'no-such-option'"},
           {"port = 0\nseed-demo = perhaps\n", "alloc-server.conf:2: Could not convert: --seed-demo = perhaps"},
           {"backup = /tmp/x\n", "alloc-server.conf:1: 'backup' is an action"},
           {"port = 0\nport = 1\n", "alloc-server.conf:2: 'port' is given twice"},
           {"tls-cert = /etc/hostname\n", "with the command line: --tls-cert requires --tls-key"},
       }) {
    const std::string file = WriteFile(work.path() / "alloc-server.conf", c.text);
    ServerProcess server;
    EXPECT_FALSE(server.Start({"--config", file, "--data", data.string(), "--port", "0"})) << c.text;
    EXPECT_EQ(server.ExitCode(), kExitBadCommandLine) << c.text;
    EXPECT_THAT(server.Output(), HasSubstr(c.says)) << c.text;
    EXPECT_THAT(server.Output(), HasSubstr("not started")) << c.text;
  }
  EXPECT_FALSE(fs::exists(data)) << "a refused start touched no data folder";
  ServerProcess missing;
  EXPECT_FALSE(missing.Start({"--config", (work.path() / "none.conf").string(), "--port", "0"}));
  EXPECT_EQ(missing.ExitCode(), kExitBadCommandLine);
  EXPECT_THAT(missing.Output(), HasSubstr("none.conf: cannot be read"));
}

}  // namespace
}  // namespace srv

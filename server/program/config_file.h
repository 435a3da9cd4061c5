// The server's configuration file: the command line's options, one a line, under their
// long names without the dashes (docs/server-program.md):
//
//   # comment lines start with '#'; blank lines are ignored
//   listen = 0.0.0.0
//   port = 8211
//   database = "host=db.example dbname=alloc"   (quotes keep spaces at either end)
//   seed-demo = true                             (a flag: true/false, yes/no, on/off, 1/0)
//
// An option given on the command line wins over the file's.
#pragma once

#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

namespace srv {

struct ConfigEntry {
  int line = 0;
  std::string key;
  std::string value;
};

// A refusal of the file: its line (0: the file as a whole) and why.
struct ConfigFileError : std::runtime_error {
  ConfigFileError(int at_line, const std::string& why) : std::runtime_error(why), line(at_line) {}
  int line;
};

// The entries of a file's text, in order. Throws ConfigFileError at the first line that
// is not a comment, blank or `key = value`, and at a key given twice.
std::vector<ConfigEntry> ParseConfigText(std::string_view text);
// The same for a file; an unreadable file is refused as a whole.
std::vector<ConfigEntry> ReadConfigFile(const std::string& path);

// Parses `args` (the program's name first) with the program's own options, as from its
// command line; throws CLI::ParseError when they are refused.
using OptionCheck = std::function<void(const std::vector<std::string>& args)>;

// The file's entries as command-line arguments ("--port=8211"), leaving out those that
// `command_line` (already parsed) was given. Each entry is first checked on its own by
// `check`, so that a refused value is reported with its line. Keys that are not options
// of `command_line`, and those in `command_line_only` (actions such as --backup), are
// refused with their line.
std::vector<std::string> ConfigArguments(const std::vector<ConfigEntry>& entries, const CLI::App& command_line,
                                         const std::set<std::string>& command_line_only, const OptionCheck& check);

// Runs CLI11's parser over `args` (the program's name first).
void ParseArguments(CLI::App& app, std::vector<std::string> args);

}  // namespace srv

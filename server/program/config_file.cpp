#include "server/program/config_file.h"

#include <fstream>
#include <map>
#include <sstream>

namespace srv {
namespace {

constexpr std::string_view kSpaces = " \t\r";

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kSpaces);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpaces) - first + 1);
}

bool IsKeyCharacter(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; }

// "..." with \" and \\ inside: the text between the quotes; nothing may follow.
std::string Unquote(std::string_view quoted, int line) {
  std::string value;
  for (std::size_t i = 1; i < quoted.size(); ++i) {
    const char c = quoted[i];
    if (c == '"') {
      if (i + 1 != quoted.size()) throw ConfigFileError(line, "text after the closing quote");
      return value;
    }
    if (c == '\\') {
      if (i + 1 == quoted.size() || (quoted[i + 1] != '"' && quoted[i + 1] != '\\')) {
        throw ConfigFileError(line, "a backslash in quotes must be followed by \" or \\");
      }
      value += quoted[++i];
      continue;
    }
    value += c;
  }
  throw ConfigFileError(line, "the quote is not closed");
}

}  // namespace

std::vector<ConfigEntry> ParseConfigText(std::string_view text) {
  std::vector<ConfigEntry> entries;
  std::map<std::string, int> seen;
  int line = 0;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view content = Trim(text.substr(start, end - start));
    start = end + 1;
    ++line;
    if (content.empty() || content.front() == '#') continue;
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos) throw ConfigFileError(line, "expected `option = value`");
    const std::string key(Trim(content.substr(0, equals)));
    if (key.empty()) throw ConfigFileError(line, "no option name before '='");
    for (const char c : key) {
      if (!IsKeyCharacter(c) || key.front() == '-') {
        throw ConfigFileError(line, "'" + key + "' is not an option name (lower-case letters, digits and '-', as "
                                    "on the command line without the leading dashes)");
      }
    }
    if (const auto [at, fresh] = seen.emplace(key, line); !fresh) {
      throw ConfigFileError(line, "'" + key + "' is given twice (first on line " + std::to_string(at->second) + ")");
    }
    const std::string_view raw = Trim(content.substr(equals + 1));
    std::string value = !raw.empty() && raw.front() == '"' ? Unquote(raw, line) : std::string(raw);
    entries.push_back({line, key, std::move(value)});
  }
  return entries;
}

std::vector<ConfigEntry> ReadConfigFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ConfigFileError(0, "cannot be read");
  std::stringstream text;
  text << in.rdbuf();
  if (in.bad()) throw ConfigFileError(0, "cannot be read");
  return ParseConfigText(text.str());
}

std::vector<std::string> ConfigArguments(const std::vector<ConfigEntry>& entries, const CLI::App& command_line,
                                         const std::set<std::string>& command_line_only, const OptionCheck& check) {
  std::vector<std::string> arguments;
  for (const ConfigEntry& entry : entries) {
    const std::string name = "--" + entry.key;
    const CLI::Option* option = command_line.get_option_no_throw(name);
    if (!option) throw ConfigFileError(entry.line, "unknown option '" + entry.key + "'");
    if (command_line_only.count(entry.key)) {
      throw ConfigFileError(entry.line, "'" + entry.key + "' is an action: give it on the command line");
    }
    // A flag takes its value the same way: --seed-demo=true (or yes, on, 1; false...).
    std::string argument = name + "=" + entry.value;
    try {
      check({"alloc-server", argument});
    } catch (const CLI::RequiresError&) {  // needs another option: judged with the rest
    } catch (const CLI::ParseError& e) {
      throw ConfigFileError(entry.line, e.what());
    }
    if (option->count() == 0) arguments.push_back(std::move(argument));
  }
  return arguments;
}

void ParseArguments(CLI::App& app, std::vector<std::string> args) {
  std::vector<char*> argv;
  argv.reserve(args.size());
  for (std::string& arg : args) argv.push_back(arg.data());
  app.parse(static_cast<int>(argv.size()), argv.data());
}

}  // namespace srv

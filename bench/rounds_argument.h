// The one argument of the benchmarks that run a number of rounds: `NAME [ROUNDS]`, or
// --help. Prints the usage on --help (exit 0) or on anything else that is not a
// positive whole number (exit 2).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace bench_support {

// The rounds asked for, or `fallback` when none is given; exits as above otherwise.
inline int RoundsArgument(int argc, char** argv, int fallback, const char* usage) {
  if (argc <= 1) return fallback;
  const std::string_view arg = argv[1];
  const bool help = arg == "-h" || arg == "--help";
  char* end = nullptr;
  const long rounds = help ? 0 : std::strtol(argv[1], &end, 10);
  if (help || argc > 2 || end == argv[1] || *end != '\0' || rounds < 1 || rounds > 100000) {
    std::fputs(usage, help ? stdout : stderr);
    std::exit(help ? 0 : 2);
  }
  return static_cast<int>(rounds);
}

}  // namespace bench_support

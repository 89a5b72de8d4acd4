#pragma once

// The command line of tamro-batch: a subcommand, its operands and its options.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tamro::batch {

inline constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2;

struct Args {
  std::string command;
  std::vector<std::string> operands;
  std::map<std::string, std::string> values;  // options with a value, by long name
  std::vector<std::string> flags;             // switches given, by long name
  bool help = false;

  bool Has(const std::string &name) const;
  std::optional<std::string> Value(const std::string &name) const;
};

// Parses argv[1..]. False with the reason in `error` for an unknown subcommand or option,
// an option that belongs to another subcommand, or a missing value.
bool ParseArgs(int argc, char **argv, Args &args, std::string &error);

// The whole help text: every subcommand and option.
std::string HelpText();

// A whole number in [lo, hi]; nullopt for anything else (trailing text included).
std::optional<long> ParseInt(const std::string &text, long lo, long hi);
// "WxH" with both parts in [lo, hi].
bool ParseSize(const std::string &text, int lo, int hi, int &width, int &height);

}  // namespace tamro::batch

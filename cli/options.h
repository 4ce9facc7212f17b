// Command-line options of kestrun-repair.
#pragma once

#include <string>
#include <vector>

namespace cli {

struct Options {
  bool help = false;
  bool version = false;
  bool list = false;  // print the recovered objects after the repair
  std::string show;   // after the repair, show this table, view or trigger
  std::string outDir = ".";     // where the repaired database is saved
  bool includeDeleted = false;  // save the "(deleted)" companions too
  std::vector<std::string> tables;  // save only these tables (all when empty)

  // A repair is followed by a save unless the run only inspects.
  bool Saves() const { return !list && show.empty(); }
  std::string file;  // the damaged database
};

// Parses the arguments after the program name. Returns false with `error` set for an
// unknown option, a missing value, or not exactly one FILE (unless --help).
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

// The --help text.
std::string UsageText();

}  // namespace cli

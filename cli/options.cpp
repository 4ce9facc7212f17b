#include "cli/options.h"

namespace cli {

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
  std::vector<std::string> files;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
      options.help = true;
    } else if (!optionsEnded && arg == "--list") {
      options.list = true;
    } else if (!optionsEnded && arg == "--show") {
      if (i + 1 >= args.size()) {
        error = "--show needs a NAME";
        return false;
      }
      options.show = args[++i];
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      error = "unknown option: " + arg;
      return false;
    } else {
      files.push_back(arg);
    }
  }
  if (options.help) return true;
  if (files.size() != 1) {
    error = files.empty() ? "no database file given" : "more than one database file given";
    return false;
  }
  options.file = files.front();
  return true;
}

std::string UsageText() {
  return "Usage: kestrun-repair [options] FILE\n"
         "\n"
         "Repairs the damaged SQLite 3 database FILE: reads it page by page, never\n"
         "writing to it, and recovers its tables, views and triggers.\n"
         "\n"
         "Options:\n"
         "  --list       after the repair, list the recovered tables (root page,\n"
         "               columns with type, NOT, DEFAULT, PRIMARY KEY), the \"(deleted)\"\n"
         "               companions, the views and triggers with their SQL text\n"
         "  --show NAME  after the repair, show the table NAME as the grid would (a\n"
         "               header line of column names, then one tab-separated line\n"
         "               per record), or the SQL text of the view or trigger NAME\n"
         "  -h, --help   show this text\n"
         "\n"
         "With --list or --show, the repair's log goes to stderr and stdout holds only\n"
         "the listing or the object.\n"
         "\n"
         "Exit status: 0 repaired, 1 cannot open or not a database, 2 usage error,\n"
         "3 stopped (Ctrl+C), 4 no table, view or trigger of the --show NAME.\n";
}

}  // namespace cli

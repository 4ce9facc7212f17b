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
    } else if (!optionsEnded && arg == "--version") {
      options.version = true;
    } else if (!optionsEnded && arg == "--list") {
      options.list = true;
    } else if (!optionsEnded && (arg == "--show" || arg == "--out" || arg == "--table")) {
      if (i + 1 >= args.size()) {
        error = arg + (arg == "--out" ? " needs a DIR" : " needs a NAME");
        return false;
      }
      const std::string& value = args[++i];
      if (arg == "--show") options.show = value;
      else if (arg == "--out") options.outDir = value;
      else options.tables.push_back(value);
    } else if (!optionsEnded && arg == "--include-deleted") {
      options.includeDeleted = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      error = "unknown option: " + arg;
      return false;
    } else {
      files.push_back(arg);
    }
  }
  if (options.help || options.version) return true;
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
         "writing to it, recovers its tables, views and triggers, and saves them into\n"
         "a new database named Repaired_HH_MM_SS_FILE (a free variant of the name when\n"
         "that file exists).\n"
         "\n"
         "Options:\n"
         "  --out DIR          save into DIR (default: the current folder)\n"
         "  --include-deleted  also save each table's deleted records into NAME_deleted\n"
         "  --table NAME       save only this table (repeatable); views are always\n"
         "                     saved, triggers with the tables they belong to\n"
         "  --list       after the repair, list the recovered tables (root page,\n"
         "               columns with type, NOT, DEFAULT, PRIMARY KEY), the \"(deleted)\"\n"
         "               companions, the views and triggers with their SQL text\n"
         "  --show NAME  after the repair, show the table NAME as the grid would (a\n"
         "               header line of column names, then one tab-separated line\n"
         "               per record), or the SQL text of the view or trigger NAME\n"
         "  --version    print the program's version\n"
         "  -h, --help   show this text\n"
         "\n"
         "With --list or --show, the repair's log goes to stderr and stdout holds only\n"
         "the listing or the object.\n"
         "\n"
         "--list and --show only inspect: nothing is saved.\n"
         "\n"
         "Exit status: 0 repaired (and saved), 1 cannot open or not a database, 2 usage\n"
         "error, 3 stopped (Ctrl+C), 4 no table, view or trigger of the --show or\n"
         "--table NAME, 5 the repaired database cannot be created or was not written\n"
         "completely, 6 FILE changed while it was read (its size or modification time\n"
         "changed during a job): the results may be incomplete; a save made meanwhile\n"
         "is kept, but not reported as a success.\n";
}

}  // namespace cli

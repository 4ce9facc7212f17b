// kestrun-repair-gui: the desktop program.
#include <sqlite3.h>

#include "shell/repair_app.h"

int main(int argc, char** argv) {
  // No statistics of SQLite's memory: no allocation of the output takes a global lock.
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  shell::CDravoltSqliteRepairApp app(argc, argv);
  return app.Run();
}

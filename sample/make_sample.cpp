// Builds the damaged sample database that `make demo` repairs: a few tables, a view,
// a trigger, NULLs and blobs, deleted rows, and one leaf page of the orders table
// zeroed.
#include <iostream>
#include <string>

#include "tests/fixture/fixture_db.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_sample OUTPUT.db\n";
    return 2;
  }
  const std::string path = argv[1];
  std::remove(path.c_str());
  try {
    std::string sql =
        "CREATE TABLE customers(id INTEGER PRIMARY KEY, name TEXT NOT NULL, email TEXT,"
        " balance REAL DEFAULT 0);"
        "CREATE TABLE orders(id INTEGER PRIMARY KEY, customer_id INTEGER, item TEXT,"
        " qty INTEGER, note BLOB);"
        "CREATE TABLE \"audit log\"(at TEXT, what TEXT);"
        "CREATE VIEW big_orders AS SELECT * FROM orders WHERE qty > 5;"
        "CREATE TRIGGER customers_gone AFTER DELETE ON customers BEGIN"
        " INSERT INTO \"audit log\" VALUES(datetime('now'), 'deleted ' || old.name); END;"
        "BEGIN;";
    // Every ninth customer left no e-mail address: NULLs to show.
    for (int i = 1; i <= 200; ++i) {
      const std::string email = i % 9 == 0 ? "NULL" : "'c" + std::to_string(i) + "@example.com'";
      sql += "INSERT INTO customers(name, email, balance) VALUES('Customer " + std::to_string(i) + "', " + email +
             ", " + std::to_string(i * 12.5) + ");";
    }
    for (int i = 1; i <= 3000; ++i) {
      sql += "INSERT INTO orders(customer_id, item, qty, note) VALUES(" +
             std::to_string(1 + i % 200) + ", 'item-" + std::to_string(i % 37) + "', " +
             std::to_string(i % 11) + ", " + (i % 7 == 0 ? "NULL" : i % 3 ? "x'00ff10'" : "x'cafe'") + ");";
    }
    sql += "COMMIT;"
           "DELETE FROM customers WHERE id % 17 = 0;";
    fixture::BuildDatabase(path, fixture::DbOptions{}, sql);

    // Zero one leaf page in the middle of the orders table.
    std::vector<fixture::PageInfo> leaves;
    for (const auto& p : fixture::BtreePages(path, "orders")) {
      if (p.type == "leaf") leaves.push_back(p);
    }
    if (leaves.size() < 3) throw std::runtime_error("orders has too few leaf pages");
    fixture::ZeroPage(path, leaves[leaves.size() / 2].page, 4096);
  } catch (const std::exception& e) {
    std::cerr << "make_sample: " << e.what() << "\n";
    return 1;
  }
  std::cout << path << "\n";
  return 0;
}

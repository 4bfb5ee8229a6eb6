// The digest cache's file as another program (or another copy) sees it.
#pragma once

#include <gtest/gtest.h>
#include <memory>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>

namespace zandrex::test {

// Runs SQL on a cache file as another program would; the connection stays open (and holds what
// the SQL left open) until the returned handle is closed.
inline std::unique_ptr<sqlite3, decltype(&sqlite3_close)> connectTo(const std::string& file,
                                                                    const std::string& sql = "") {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  if (!sql.empty()) {
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
  }
  return {db, &sqlite3_close};
}

inline bool fileExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

} // namespace zandrex::test

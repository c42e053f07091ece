// Build step: writes the phone's template file (Data/jxcdatabase.db) from the
// schema kept with the sources. The file is written under a temporary name and
// renamed, so an interrupted build never leaves half a template behind.
//
//   make_download_template <schema.sql> <jxcdatabase.db>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <schema.sql> <template.db>\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  std::stringstream schema;
  schema << in.rdbuf();
  const std::filesystem::path target = argv[2];
  std::filesystem::create_directories(target.parent_path());
  const std::filesystem::path part = target.string() + ".part";
  std::filesystem::remove(part);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(part.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    std::fprintf(stderr, "cannot create %s\n", part.c_str());
    sqlite3_close(db);
    return 1;
  }
  char* error = nullptr;
  const int code = sqlite3_exec(db, schema.str().c_str(), nullptr, nullptr, &error);
  if (code != SQLITE_OK) {
    std::fprintf(stderr, "%s: %s\n", argv[1], error != nullptr ? error : "error");
    sqlite3_free(error);
    sqlite3_close(db);
    std::filesystem::remove(part);
    return 1;
  }
  sqlite3_close(db);
  std::filesystem::rename(part, target);
  return 0;
}

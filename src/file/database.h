// An SQLite database written into a new file of the file transaction (replacement.h): SQLite
// reads and writes it through that file's own descriptor or handle, never by a name, so that a
// file that has no name yet (Linux's unnamed files) or one no second handle may open (Windows'
// hidden new file) is written like any other, and the replacement alone decides where it ends.
// The file is this run's alone: SQLite keeps no journal and takes no lock on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace file {

class NewFile;

class Database {
 public:
  // Opens a connection to `file`, empty, which messages name `shown`, with no journal, no lock
  // and no sync of its own (the replacement syncs the file), and pages of `page_size` bytes;
  // for one thread, so without SQLite's mutexes.
  // Raises a Failure.
  Database(std::shared_ptr<NewFile> file, std::string shown, int page_size);
  // Closes the connection unless Close did.
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  sqlite3* get() const { return connection_.get(); }
  // Runs `sql`, one or more statements. Raises a Failure.
  void Execute(std::string_view sql);
  // A Failure for SQLite's result `code`: where the file itself failed, the system's words for
  // it; otherwise SQLite's.
  [[noreturn]] void Fail(int code) const;
  // Closes the connection, everything written into the file. Raises a Failure.
  void Close();

  // The way SQLite is given to the file, of database.cpp's own.
  struct Files;

 private:
  struct CloseConnection {
    void operator()(sqlite3* connection) const;
  };

  // The connection goes first, then the way to its file it was opened through.
  std::unique_ptr<Files> files_;
  std::unique_ptr<sqlite3, CloseConnection> connection_;
};

// `name` as SQL quotes a table's or column's name: within double quotes, each doubled.
std::string QuotedName(std::string_view name);

// One prepared statement, run again with new values for each row.
class Statement {
 public:
  // Raises a Failure.
  Statement(Database& database, std::string_view sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Text and blobs are bound without a copy: they must stay as they are until the statement has
  // run.
  void Bind(int at, double value);
  void Bind(int at, std::int64_t value);
  void Bind(int at, std::string_view text);
  void BindBlob(int at, const void* data, std::size_t size);
  void BindNull(int at);
  // Runs it, for no row. Raises a Failure.
  void Run();
  // Runs it, for the first column of its one row (0 for none). Raises a Failure.
  std::int64_t Single();

 private:
  void Check(int code) const;

  Database& database_;
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace file

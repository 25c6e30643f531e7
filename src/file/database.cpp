#include "file/database.h"

#include <sqlite3.h>

#include <atomic>
#include <cstring>
#include <new>
#include <string>
#include <system_error>
#include <utility>

#include "file/failure.h"
#include "file/replace_options.h"

// SQLite finds its files through a VFS, a table of calls. Each connection here has one of its
// own, registered under a name of its own, whose main database is the connection's new file and
// which opens nothing else: with no journal and temporary tables in memory, SQLite asks for no
// other file, and one it asked for would fail the run rather than appear beside the user's.
struct file::Database::Files {
  sqlite3_vfs vfs{};
  std::string name;
  std::shared_ptr<NewFile> file;
  std::string shown;
  std::error_code failed;  // the file's own last failure, told instead of SQLite's words
  bool registered = false;

  int Failed(std::error_code error, int code) {
    failed = error;
    return code;
  }
  ~Files() {
    if (registered) {
      sqlite3_vfs_unregister(&vfs);
    }
  }
};

namespace file {
namespace {

// Pages are read and written at the places SQLite chooses; nothing else it asks of a file
// applies: the file is synced by the replacement, and no other process may see it.
struct OpenFile {
  sqlite3_file base;  // first, as SQLite sees only this
  Database::Files* files;
};

Database::Files& FilesOf(sqlite3_file* file) {
  return *reinterpret_cast<OpenFile*>(file)->files;
}

int Read(sqlite3_file* file, void* data, int amount, sqlite3_int64 offset) {
  Database::Files& files = FilesOf(file);
  std::size_t got = 0;
  if (const std::error_code error =
          files.file->ReadAt(static_cast<std::uint64_t>(offset), static_cast<char*>(data),
                             static_cast<std::size_t>(amount), got)) {
    return files.Failed(error, SQLITE_IOERR_READ);
  }
  if (got < static_cast<std::size_t>(amount)) {
    // SQLite reads past the end of a file that grows, and expects zeros there.
    std::memset(static_cast<char*>(data) + got, 0, static_cast<std::size_t>(amount) - got);
    return SQLITE_IOERR_SHORT_READ;
  }
  return SQLITE_OK;
}

int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
  Database::Files& files = FilesOf(file);
  if (const std::error_code error =
          files.file->WriteAt(static_cast<std::uint64_t>(offset), static_cast<const char*>(data),
                              static_cast<std::size_t>(amount))) {
    return files.Failed(error, SQLITE_IOERR_WRITE);
  }
  return SQLITE_OK;
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
  Database::Files& files = FilesOf(file);
  if (const std::error_code error = files.file->Truncate(static_cast<std::uint64_t>(size))) {
    return files.Failed(error, SQLITE_IOERR_TRUNCATE);
  }
  return SQLITE_OK;
}

int FileSize(sqlite3_file* file, sqlite3_int64* size) {
  Database::Files& files = FilesOf(file);
  std::uint64_t bytes = 0;
  if (const std::error_code error = files.file->Size(bytes)) {
    return files.Failed(error, SQLITE_IOERR_FSTAT);
  }
  *size = static_cast<sqlite3_int64>(bytes);
  return SQLITE_OK;
}

int Done(sqlite3_file*) {
  return SQLITE_OK;
}
int Synced(sqlite3_file*, int) {
  return SQLITE_OK;
}
int Locked(sqlite3_file*, int) {
  return SQLITE_OK;
}
int NotReserved(sqlite3_file*, int* reserved) {
  *reserved = 0;
  return SQLITE_OK;
}
int NoControl(sqlite3_file*, int, void*) {
  return SQLITE_NOTFOUND;
}
int Sector(sqlite3_file*) {
  return 4096;
}
int NoCharacteristics(sqlite3_file*) {
  return 0;
}

constexpr sqlite3_io_methods kMethods = {.iVersion = 1,
                                         .xClose = Done,
                                         .xRead = Read,
                                         .xWrite = Write,
                                         .xTruncate = Truncate,
                                         .xSync = Synced,
                                         .xFileSize = FileSize,
                                         .xLock = Locked,
                                         .xUnlock = Locked,
                                         .xCheckReservedLock = NotReserved,
                                         .xFileControl = NoControl,
                                         .xSectorSize = Sector,
                                         .xDeviceCharacteristics = NoCharacteristics,
                                         .xShmMap = nullptr,
                                         .xShmLock = nullptr,
                                         .xShmBarrier = nullptr,
                                         .xShmUnmap = nullptr,
                                         .xFetch = nullptr,
                                         .xUnfetch = nullptr};

int Open(sqlite3_vfs* vfs, sqlite3_filename, sqlite3_file* file, int flags, int* out_flags) {
  file->pMethods = nullptr;
  if (!(flags & SQLITE_OPEN_MAIN_DB)) {
    return SQLITE_CANTOPEN;
  }
  auto* open = reinterpret_cast<OpenFile*>(file);
  open->files = static_cast<Database::Files*>(vfs->pAppData);
  open->base.pMethods = &kMethods;
  if (out_flags) {
    *out_flags = flags;
  }
  return SQLITE_OK;
}

// No other file exists for this connection: none to delete, none there.
int Delete(sqlite3_vfs*, const char*, int) {
  return SQLITE_OK;
}
int Access(sqlite3_vfs*, const char*, int, int* exists) {
  *exists = 0;
  return SQLITE_OK;
}
int FullPathname(sqlite3_vfs*, const char* name, int size, char* full) {
  sqlite3_snprintf(size, full, "%s", name);
  return SQLITE_OK;
}

std::atomic<unsigned> connections{0};

}  // namespace

void Database::CloseConnection::operator()(sqlite3* connection) const {
  sqlite3_close(connection);
}

Database::Database(std::shared_ptr<NewFile> file, std::string shown, int page_size)
    : files_(std::make_unique<Files>()) {
  files_->file = std::move(file);
  files_->shown = std::move(shown);
  if (sqlite3_initialize() != SQLITE_OK) {
    throw std::bad_alloc();
  }
  const sqlite3_vfs* system = sqlite3_vfs_find(nullptr);
  if (system == nullptr) {
    FailOnFile("SQLite has no way to the system's files", files_->shown);
  }
  // The system's own for all but files: time, randomness, sleep.
  sqlite3_vfs& vfs = files_->vfs;
  vfs = *system;
  vfs.iVersion = 2;
  vfs.szOsFile = sizeof(OpenFile);
  files_->name = "tessaplan-new-file-" + std::to_string(connections++);
  vfs.zName = files_->name.c_str();
  vfs.pAppData = files_.get();
  vfs.pNext = nullptr;
  vfs.xOpen = Open;
  vfs.xDelete = Delete;
  vfs.xAccess = Access;
  vfs.xFullPathname = FullPathname;
  if (const int code = sqlite3_vfs_register(&vfs, 0); code != SQLITE_OK) {
    Fail(code);
  }
  files_->registered = true;
  sqlite3* connection = nullptr;
  const int code = sqlite3_open_v2("new", &connection,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                   files_->name.c_str());
  connection_.reset(connection);
  if (code != SQLITE_OK) {
    Fail(code);
  }
  sqlite3_extended_result_codes(connection, 1);
  // The page size is the file's from its first table on.
  Execute(
      "PRAGMA locking_mode=EXCLUSIVE; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; "
      "PRAGMA temp_store=MEMORY; PRAGMA page_size=" +
      std::to_string(page_size) + ";");
}

Database::~Database() = default;

void Database::Execute(std::string_view sql) {
  if (const int code =
          sqlite3_exec(connection_.get(), std::string(sql).c_str(), nullptr, nullptr, nullptr);
      code != SQLITE_OK) {
    Fail(code);
  }
}

void Database::Fail(int code) const {
  if (files_->failed) {
    FailOnFile(files_->failed.message(), files_->shown);
  }
  if ((code & 0xFF) == SQLITE_NOMEM) {
    throw std::bad_alloc();
  }
  FailOnFile(std::string("SQLite: ") +
                 (connection_ ? sqlite3_errmsg(connection_.get()) : sqlite3_errstr(code)),
             files_->shown);
}

void Database::Close() {
  if (const int code = sqlite3_close(connection_.get()); code != SQLITE_OK) {
    Fail(code);
  }
  connection_.release();
}

std::string QuotedName(std::string_view name) {
  std::string quoted(1, '"');
  for (const char c : name) {
    quoted.append(c == '"' ? 2 : 1, c);
  }
  quoted.push_back('"');
  return quoted;
}

Statement::Statement(Database& database, std::string_view sql) : database_(database) {
  if (const int code = sqlite3_prepare_v2(database.get(), sql.data(), static_cast<int>(sql.size()),
                                          &statement_, nullptr);
      code != SQLITE_OK) {
    database.Fail(code);
  }
}

Statement::~Statement() {
  sqlite3_finalize(statement_);
}

void Statement::Bind(int at, double value) {
  Check(sqlite3_bind_double(statement_, at, value));
}

void Statement::Bind(int at, std::int64_t value) {
  Check(sqlite3_bind_int64(statement_, at, value));
}

void Statement::Bind(int at, std::string_view text) {
  Check(
      sqlite3_bind_text(statement_, at, text.data(), static_cast<int>(text.size()), SQLITE_STATIC));
}

void Statement::BindBlob(int at, const void* data, std::size_t size) {
  Check(sqlite3_bind_blob(statement_, at, data, static_cast<int>(size), SQLITE_STATIC));
}

void Statement::BindNull(int at) {
  Check(sqlite3_bind_null(statement_, at));
}

void Statement::Run() {
  const int code = sqlite3_step(statement_);
  sqlite3_reset(statement_);
  if (code != SQLITE_DONE) {
    database_.Fail(code);
  }
}

std::int64_t Statement::Single() {
  const int code = sqlite3_step(statement_);
  const std::int64_t value = code == SQLITE_ROW ? sqlite3_column_int64(statement_, 0) : 0;
  sqlite3_reset(statement_);
  if (code != SQLITE_ROW && code != SQLITE_DONE) {
    database_.Fail(code);
  }
  return value;
}

void Statement::Check(int code) const {
  if (code != SQLITE_OK) {
    database_.Fail(code);
  }
}

}  // namespace file

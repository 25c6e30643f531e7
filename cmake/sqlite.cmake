# SQLite, which writes the GeoPackage: Debian's libsqlite3 on Linux. For Windows,
# scripts/build-windows makes the same version's amalgamation from Debian's source package, its
# patches applied, into TESSAPLAN_SQLITE_SOURCE with the options Debian builds it with
# (debian-options.txt, one a line); it is compiled here alone and linked in whole.
if(WIN32)
  set(TESSAPLAN_SQLITE_SOURCE "" CACHE PATH
      "The folder of sqlite3.c, sqlite3.h and debian-options.txt (scripts/build-windows)")
  if(NOT EXISTS "${TESSAPLAN_SQLITE_SOURCE}/sqlite3.c")
    message(FATAL_ERROR "No sqlite3.c in TESSAPLAN_SQLITE_SOURCE ('${TESSAPLAN_SQLITE_SOURCE}'): "
                        "build for Windows with scripts/build-windows, which makes it")
  endif()
  enable_language(C)
  file(STRINGS "${TESSAPLAN_SQLITE_SOURCE}/debian-options.txt" sqlite_options)
  add_library(sqlite3 STATIC "${TESSAPLAN_SQLITE_SOURCE}/sqlite3.c")
  target_include_directories(sqlite3 SYSTEM PUBLIC "${TESSAPLAN_SQLITE_SOURCE}")
  target_compile_options(sqlite3 PRIVATE ${sqlite_options} -w)
  add_library(SQLite::SQLite3 ALIAS sqlite3)
else()
  find_package(SQLite3 REQUIRED)
endif()

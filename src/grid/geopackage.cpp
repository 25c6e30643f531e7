#include "grid/geopackage.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <charconv>
#include <limits>
#include <vector>

#include "file/database.h"
#include "grid/format_single.h"
#include "grid/spatial_index.h"
#include "grid/wording.h"

namespace grid {
namespace {

constexpr std::string_view kGeometryColumn = "geom";
constexpr std::string_view kIdColumn = "fid";

// "GPKG" as the file's application_id, and version 1.2.0.
constexpr int kApplicationId = 0x47504B47;
constexpr int kUserVersion = 10200;

constexpr std::string_view kStandardTables =
    "CREATE TABLE gpkg_spatial_ref_sys (srs_name TEXT NOT NULL, srs_id INTEGER NOT NULL PRIMARY "
    "KEY, organization TEXT NOT NULL, organization_coordsys_id INTEGER NOT NULL, definition TEXT "
    "NOT NULL, description TEXT);"
    "CREATE TABLE gpkg_contents (table_name TEXT NOT NULL PRIMARY KEY, data_type TEXT NOT NULL, "
    "identifier TEXT UNIQUE, description TEXT DEFAULT '', last_change DATETIME NOT NULL DEFAULT "
    "(strftime('%Y-%m-%dT%H:%M:%fZ','now')), min_x DOUBLE, min_y DOUBLE, max_x DOUBLE, max_y "
    "DOUBLE, srs_id INTEGER, CONSTRAINT fk_gc_r_srs_id FOREIGN KEY (srs_id) REFERENCES "
    "gpkg_spatial_ref_sys(srs_id));"
    "CREATE TABLE gpkg_geometry_columns (table_name TEXT NOT NULL, column_name TEXT NOT NULL, "
    "geometry_type_name TEXT NOT NULL, srs_id INTEGER NOT NULL, z TINYINT NOT NULL, m TINYINT NOT "
    "NULL, CONSTRAINT pk_geom_cols PRIMARY KEY (table_name, column_name), CONSTRAINT "
    "uk_gc_table_name UNIQUE (table_name), CONSTRAINT fk_gc_tn FOREIGN KEY (table_name) "
    "REFERENCES gpkg_contents(table_name), CONSTRAINT fk_gc_srs FOREIGN KEY (srs_id) REFERENCES "
    "gpkg_spatial_ref_sys (srs_id));"
    "CREATE TABLE gpkg_extensions (table_name TEXT, column_name TEXT, extension_name TEXT NOT "
    "NULL, definition TEXT NOT NULL, scope TEXT NOT NULL, CONSTRAINT ge_tce UNIQUE (table_name, "
    "column_name, extension_name));";

// The spatial index's triggers, as the standard's R-tree extension gives them (GeoPackage 1.2),
// with <t> the layer, <c> its geometry and <i> its key, each within double quotes.
constexpr std::string_view kIndexTriggers[] = {
    R"(CREATE TRIGGER "rtree_<t>_<c>_insert" AFTER INSERT ON "<t>" WHEN (new."<c>" NOT NULL AND NOT ST_IsEmpty(NEW."<c>")) BEGIN INSERT OR REPLACE INTO "rtree_<t>_<c>" VALUES (NEW."<i>", ST_MinX(NEW."<c>"), ST_MaxX(NEW."<c>"), ST_MinY(NEW."<c>"), ST_MaxY(NEW."<c>")); END;)",
    R"(CREATE TRIGGER "rtree_<t>_<c>_update1" AFTER UPDATE OF "<c>" ON "<t>" WHEN OLD."<i>" = NEW."<i>" AND (NEW."<c>" NOTNULL AND NOT ST_IsEmpty(NEW."<c>")) BEGIN INSERT OR REPLACE INTO "rtree_<t>_<c>" VALUES (NEW."<i>", ST_MinX(NEW."<c>"), ST_MaxX(NEW."<c>"), ST_MinY(NEW."<c>"), ST_MaxY(NEW."<c>")); END;)",
    R"(CREATE TRIGGER "rtree_<t>_<c>_update2" AFTER UPDATE OF "<c>" ON "<t>" WHEN OLD."<i>" = NEW."<i>" AND (NEW."<c>" ISNULL OR ST_IsEmpty(NEW."<c>")) BEGIN DELETE FROM "rtree_<t>_<c>" WHERE id = OLD."<i>"; END;)",
    R"(CREATE TRIGGER "rtree_<t>_<c>_update3" AFTER UPDATE ON "<t>" WHEN OLD."<i>" != NEW."<i>" AND (NEW."<c>" NOTNULL AND NOT ST_IsEmpty(NEW."<c>")) BEGIN DELETE FROM "rtree_<t>_<c>" WHERE id = OLD."<i>"; INSERT OR REPLACE INTO "rtree_<t>_<c>" VALUES (NEW."<i>", ST_MinX(NEW."<c>"), ST_MaxX(NEW."<c>"), ST_MinY(NEW."<c>"), ST_MaxY(NEW."<c>")); END;)",
    R"(CREATE TRIGGER "rtree_<t>_<c>_update4" AFTER UPDATE ON "<t>" WHEN OLD."<i>" != NEW."<i>" AND (NEW."<c>" ISNULL OR ST_IsEmpty(NEW."<c>")) BEGIN DELETE FROM "rtree_<t>_<c>" WHERE id IN (OLD."<i>", NEW."<i>"); END;)",
    R"(CREATE TRIGGER "rtree_<t>_<c>_delete" AFTER DELETE ON "<t>" WHEN old."<c>" NOT NULL BEGIN DELETE FROM "rtree_<t>_<c>" WHERE id = OLD."<i>"; END;)",
};

// A name within SQL's double quotes: each double quote doubled.
std::string InQuotes(std::string_view name) {
  const std::string quoted = file::QuotedName(name);
  return quoted.substr(1, quoted.size() - 2);
}

std::string IndexName(std::string_view layer) {
  return "rtree_" + std::string(layer) + "_" + std::string(kGeometryColumn);
}

// A point in GeoPackage's binary form: "GP", version 0, flags (little-endian, no envelope), the
// system's id, then the point as WKB.
class PointBlob {
 public:
  explicit PointBlob(int system) {
    bytes_[0] = 'G';
    bytes_[1] = 'P';
    bytes_[2] = 0;
    bytes_[3] = 0x01;
    Put(4, static_cast<std::uint32_t>(system), 4);
    bytes_[8] = 0x01;  // WKB little-endian
    Put(9, 1, 4);      // a Point
  }
  const std::array<unsigned char, 29>& Of(double x, double y) {
    Put(13, std::bit_cast<std::uint64_t>(x), 8);
    Put(21, std::bit_cast<std::uint64_t>(y), 8);
    return bytes_;
  }

 private:
  void Put(std::size_t at, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i, value >>= 8) {
      bytes_[at + i] = static_cast<unsigned char>(value & 0xFF);
    }
  }
  std::array<unsigned char, 29> bytes_{};
};

// The nearest double to a number as the grid's file writes it.
double Parsed(std::string_view text) {
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

void AddSystems(file::Database& database, const GeoPackageLayer& layer) {
  file::Statement add(
      database,
      "INSERT INTO gpkg_spatial_ref_sys (srs_name, srs_id, organization, "
      "organization_coordsys_id, definition, description) VALUES (?, ?, ?, ?, ?, ?)");
  const SpatialSystem required[] = {
      {},
      {.id = 0,
       .name = "Undefined geographic SRS",
       .organization = "NONE",
       .organization_id = 0,
       .definition = "undefined",
       .description = "undefined geographic coordinate reference system"},
      {.id = 4326,
       .name = "WGS 84 geodetic",
       .organization = "EPSG",
       .organization_id = 4326,
       .definition = layer.wgs84_definition,
       .description = "longitude/latitude coordinates in decimal degrees on the WGS 84 spheroid"},
  };
  const auto add_system = [&](const SpatialSystem& system) {
    add.Bind(1, system.name);
    add.Bind(2, std::int64_t{system.id});
    add.Bind(3, system.organization);
    add.Bind(4, std::int64_t{system.organization_id});
    add.Bind(5, system.definition);
    add.Bind(6, system.description);
    add.Run();
  };
  for (const SpatialSystem& system : required) {
    if (system.id != layer.system.id) {  // the layer's own is added once, below
      add_system(system);
    }
  }
  add_system(layer.system);
}

// The points, column by column, each with its entry in the index (spatial_index.h); their
// extent.
struct Extent {
  double min_x = std::numeric_limits<double>::infinity();
  double min_y = std::numeric_limits<double>::infinity();
  double max_x = -std::numeric_limits<double>::infinity();
  double max_y = -std::numeric_limits<double>::infinity();
};

// The layer's rows, a batch a statement: a table whose keys are never used again
// (AUTOINCREMENT) keeps its sequence once a statement, which a statement a row would pay for a
// third of the run. Each row's values stay in their slot, bound without a copy, until its batch
// is written.
class LayerRows {
 public:
  static constexpr std::size_t kBatch = 64;

  LayerRows(file::Database& database, const GeoPackageLayer& layer)
      : database_(database),
        insert_("INSERT INTO " + file::QuotedName(layer.name) + " (" + file::QuotedName(kIdColumn) +
                ", " + file::QuotedName(kGeometryColumn) + ", " + file::QuotedName(kEastingColumn) +
                ", " + file::QuotedName(kNorthingColumn) + ", \"ID\") VALUES "),
        batch_(database, Insert(kBatch)),
        blob_(layer.system.id),
        geometries_(kBatch),
        names_(kBatch) {}

  // The point `id` at x, y, named by its row's and its column's parts ("r12c", "5").
  void Add(std::int64_t id, double x, double y, std::string_view row, std::string_view column) {
    geometries_[filled_] = blob_.Of(x, y);
    names_[filled_].assign(row).append(column);  // in the slot's own buffer, once it has one
    Bind(batch_, filled_, id, x, y);
    if (++filled_ == kBatch) {
      batch_.Run();
      filled_ = 0;
    }
  }

  // The last rows, fewer than a batch.
  void Finish() {
    if (filled_ == 0) {
      return;
    }
    file::Statement rest(database_, Insert(filled_));
    for (std::size_t slot = 0; slot < filled_; ++slot) {
      Bind(rest, slot, ids_[slot], xs_[slot], ys_[slot]);
    }
    rest.Run();
  }

 private:
  std::string Insert(std::size_t rows) const {
    std::string sql = insert_;
    for (std::size_t row = 0; row < rows; ++row) {
      sql += row == 0 ? "(?, ?, ?, ?, ?)" : ", (?, ?, ?, ?, ?)";
    }
    return sql;
  }
  void Bind(file::Statement& statement, std::size_t slot, std::int64_t id, double x, double y) {
    const int at = static_cast<int>(slot * 5);
    ids_[slot] = id;
    xs_[slot] = x;
    ys_[slot] = y;
    statement.Bind(at + 1, id);
    statement.BindBlob(at + 2, geometries_[slot].data(), geometries_[slot].size());
    statement.Bind(at + 3, x);
    statement.Bind(at + 4, y);
    statement.Bind(at + 5, names_[slot]);
  }

  file::Database& database_;
  std::string insert_;
  file::Statement batch_;
  PointBlob blob_;
  std::vector<std::array<unsigned char, 29>> geometries_;
  std::vector<std::string> names_;
  std::array<std::int64_t, kBatch> ids_{};
  std::array<double, kBatch> xs_{};
  std::array<double, kBatch> ys_{};
  std::size_t filled_ = 0;
};

bool AddPoints(file::Database& database, const GridLines& lines, const GeoPackageLayer& layer,
               const std::function<bool(std::size_t)>& keep_going, Extent& extent) {
  LayerRows rows(database, layer);
  SpatialIndex index(database, IndexName(layer.name));
  std::vector<double> ys(lines.Rows());
  for (std::size_t row = 0; row < ys.size(); ++row) {
    ys[row] = Parsed(lines.Y(row));
    extent.min_y = std::min(extent.min_y, ys[row]);
    extent.max_y = std::max(extent.max_y, ys[row]);
  }
  std::int64_t id = 0;
  for (std::size_t column = 0; column < lines.Columns(); ++column) {
    const double x = Parsed(lines.X(column));
    extent.min_x = std::min(extent.min_x, x);
    extent.max_x = std::max(extent.max_x, x);
    for (std::size_t row = 0; row < ys.size(); ++row) {
      ++id;
      rows.Add(id, x, ys[row], lines.RowName(row), lines.ColumnName(column));
      index.Add(id, x, ys[row]);
    }
    if (!keep_going(column + 1)) {
      return false;
    }
  }
  rows.Finish();
  index.Finish();
  return true;
}

// The layer in the standard's tables: its contents with the extent, its geometry column, its
// index as an extension, and the triggers that keep the index as the layer changes.
void Describe(file::Database& database, const GeoPackageLayer& layer, const Extent& extent) {
  file::Statement contents(
      database,
      "INSERT INTO gpkg_contents (table_name, data_type, identifier, description, "
      "last_change, min_x, min_y, max_x, max_y, srs_id) VALUES (?, 'features', ?, "
      "'', strftime('%Y-%m-%dT%H:%M:%fZ','now'), ?, ?, ?, ?, ?)");
  contents.Bind(1, layer.name);
  contents.Bind(2, layer.name);
  const double bounds[] = {extent.min_x, extent.min_y, extent.max_x, extent.max_y};
  for (int i = 0; i < 4; ++i) {
    if (extent.min_x <= extent.max_x) {
      contents.Bind(3 + i, bounds[i]);
    } else {
      contents.BindNull(3 + i);  // no points
    }
  }
  contents.Bind(7, std::int64_t{layer.system.id});
  contents.Run();
  file::Statement column(
      database,
      "INSERT INTO gpkg_geometry_columns (table_name, column_name, geometry_type_name, "
      "srs_id, z, m) VALUES (?, ?, 'POINT', ?, 0, 0)");
  column.Bind(1, layer.name);
  column.Bind(2, kGeometryColumn);
  column.Bind(3, std::int64_t{layer.system.id});
  column.Run();
  file::Statement extension(database,
                            "INSERT INTO gpkg_extensions (table_name, column_name, extension_name, "
                            "definition, scope) VALUES (?, ?, 'gpkg_rtree_index', "
                            "'http://www.geopackage.org/spec120/#extension_rtree', 'write-only')");
  extension.Bind(1, layer.name);
  extension.Bind(2, kGeometryColumn);
  extension.Run();
  for (const std::string_view trigger : kIndexTriggers) {
    database.Execute(Filled(trigger, {{"<t>", InQuotes(layer.name)},
                                      {"<c>", InQuotes(kGeometryColumn)},
                                      {"<i>", InQuotes(kIdColumn)}}));
  }
}

}  // namespace

std::string_view ReservedLayerPrefix(std::string_view layer) {
  for (const std::string_view prefix : {"gpkg_", "rtree_", "sqlite_"}) {
    if (layer.size() >= prefix.size() &&
        std::equal(prefix.begin(), prefix.end(), layer.begin(), [](char a, char b) {
          return a == std::tolower(static_cast<unsigned char>(b));
        })) {
      return prefix;
    }
  }
  return {};
}

std::uint64_t GeoPackageBytes(const GridCounts& counts) {
  const auto points = counts.points();
  // A row: its key, the point (29 bytes), x and y (8 each), its name, SQLite's record header
  // and cell pointer; a table's leaves fill whole as rows come in key order.
  const std::uint64_t name = 2 + DigitCount(static_cast<std::uint32_t>(counts.rows())) +
                             DigitCount(static_cast<std::uint32_t>(counts.columns()));
  const std::uint64_t row = 4 + 2 + 6 + 29 + 8 + 8 + name + 2;
  const std::uint64_t page = kGeoPackagePage;
  const std::uint64_t rows_per_page = (page - 8) / row;
  std::uint64_t pages = points / rows_per_page + 1;
  pages += pages / 300 + 1;  // the table's inner pages
  // The index: a node a page, of 24-byte entries, which SQLite's R*Tree fills by at least half
  // for points inserted in the grid's order; and its map from key to node.
  const std::uint64_t entries = (page - 64 - 4) / 24;
  pages += points / (entries / 2) + 2;
  pages += points / ((page - 8) / 16) + 2;
  return (pages + 16) * page;  // and the standard's tables
}

bool WriteGeoPackage(file::Database& database, const GridLines& lines, const GeoPackageLayer& layer,
                     const std::function<bool(std::size_t columns_done)>& keep_going) {
  database.Execute("PRAGMA application_id=" + std::to_string(kApplicationId) +
                   "; PRAGMA user_version=" + std::to_string(kUserVersion) + "; BEGIN;");
  database.Execute(kStandardTables);
  AddSystems(database, layer);
  database.Execute("CREATE TABLE " + file::QuotedName(layer.name) + " (" +
                   file::QuotedName(kIdColumn) + " INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, " +
                   file::QuotedName(kGeometryColumn) + " POINT, " +
                   file::QuotedName(kEastingColumn) + " REAL, " +
                   file::QuotedName(kNorthingColumn) + " REAL, \"ID\" TEXT);");
  Extent extent;
  if (!AddPoints(database, lines, layer, keep_going, extent)) {
    return false;
  }
  Describe(database, layer, extent);
  database.Execute("COMMIT;");
  return true;
}

}  // namespace grid

// Builds the table of coordinate systems tessaplan-grid's --crs knows, from PROJ's database:
// every projected EPSG system that is not deprecated and that its ESRI WKT (what a .prj file
// holds) describes, with its name, its unit, that WKT and its OGC WKT 1 (what a GeoPackage
// holds); and by name only every other that --crs refuses, so that the program can say why, but
// for WGS 84, which every GeoPackage describes, with its OGC WKT 1. The table is a text of one
// line a system (crs_table.h),
//   code TAB kind TAB name [TAB unit TAB wkt TAB ogc_wkt] LF
// sorted by code, packed by zlib and written as a C++ source that defines it. Run once a
// build: make_crs_table OUTPUT.cpp
#include <proj.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace {

// WGS 84, the one geographic system the table describes: every GeoPackage holds it.
constexpr long kWgs84 = 4326;

struct System {
  long code;
  std::string line;
};

[[noreturn]] void Die(const std::string& problem) {
  std::fprintf(stderr, "make_crs_table: %s\n", problem.c_str());
  std::exit(1);
}

// A field goes between tabs: anything that would split the line is a fault in the database.
const std::string& Field(const std::string& text, long code) {
  if (text.empty() || text.find_first_of("\t\r\n") != std::string::npos) {
    Die("EPSG:" + std::to_string(code) + " has an empty field or one with a tab or line end");
  }
  return text;
}

std::string UnitName(PJ_CONTEXT* context, PJ* system, long code) {
  PJ* axes = proj_crs_get_coordinate_system(context, system);
  const char* unit = nullptr;
  if (axes == nullptr ||
      !proj_cs_get_axis_info(context, axes, 0, nullptr, nullptr, nullptr, nullptr, &unit, nullptr,
                             nullptr) ||
      unit == nullptr) {
    Die("EPSG:" + std::to_string(code) + " has no unit");
  }
  std::string name = unit;
  proj_destroy(axes);
  return name;
}

// The two PROJ contexts the table is made with: one with the database, and one without, whose
// reading of a WKT takes its words as they stand. That reading is fast; the database's, which
// also turns ESRI's names of datums and the like into EPSG's, scans a table of names each time
// and takes ten milliseconds a system.
struct Contexts {
  PJ_CONTEXT* database;
  PJ_CONTEXT* plain;
};

// Whether a GIS program that reads `wkt`, ESRI's WKT of `system`, gets `system` back: PROJ reads
// it without a word it does not know (a method or parameter outside its ESRI mapping, written
// in EPSG's words instead) as a system equivalent to EPSG's, with the axes in the east, north
// order that ESRI's WKT always means. A system whose axes point south and west, a spherical
// variant or a third dimension is lost that way. Read without the database first: where that
// reading is already the system, the database's names cannot make it another.
char ReadBackKind(const Contexts& contexts, PJ* system, const char* wkt) {
  PJ* east_north = proj_normalize_for_visualization(contexts.database, system);
  char kind = 'e';
  for (PJ_CONTEXT* reader : {contexts.plain, contexts.database}) {
    PROJ_STRING_LIST warnings = nullptr;
    PROJ_STRING_LIST grammar_errors = nullptr;
    PJ* read = proj_create_from_wkt(reader, wkt, nullptr, &warnings, &grammar_errors);
    const bool unknown_words = (warnings != nullptr && *warnings != nullptr) ||
                               (grammar_errors != nullptr && *grammar_errors != nullptr);
    const bool same =
        read != nullptr && east_north != nullptr &&
        proj_is_equivalent_to_with_ctx(contexts.database, read, east_north, PJ_COMP_EQUIVALENT);
    kind = read == nullptr || unknown_words ? 'x' : same ? 'p' : 'e';
    proj_destroy(read);
    proj_string_list_destroy(grammar_errors);
    proj_string_list_destroy(warnings);
    if (kind == 'p') {
      break;
    }
  }
  proj_destroy(east_north);
  return kind;
}

// The system as OGC WKT 1, one line, as a GeoPackage holds it; empty for the few whose method
// it has no words for (Lambert Conic Conformal (2SP Michigan)), which a GeoPackage then names
// by EPSG's code alone.
std::string OgcWkt(PJ_CONTEXT* context, PJ* system) {
  const char* options[] = {"MULTILINE=NO", nullptr};
  const char* wkt = proj_as_wkt(context, system, PJ_WKT1_GDAL, options);
  return wkt == nullptr ? std::string() : std::string(wkt);
}

// A projected system's line: its unit and its ESRI WKT; or, where no .prj file describes it, by
// name only: kind x where ESRI's WKT has no words for its method, e where what it says reads
// back as another system.
std::string ProjectedLine(const Contexts& contexts, const PROJ_CRS_INFO& info, long code) {
  PJ_CONTEXT* context = contexts.database;
  PJ* system = proj_create_from_database(context, "EPSG", info.code, PJ_CATEGORY_CRS, 0, nullptr);
  if (system == nullptr) {
    Die("PROJ cannot make EPSG:" + std::to_string(code));
  }
  const char* options[] = {"MULTILINE=NO", nullptr};
  const char* wkt = proj_as_wkt(context, system, PJ_WKT1_ESRI, options);
  const char kind = wkt == nullptr ? 'x' : ReadBackKind(contexts, system, wkt);
  std::string line = std::string(1, kind) + "\t" + Field(info.name, code);
  if (kind == 'p') {
    line.append("\t").append(Field(UnitName(context, system, code), code));
    line.append("\t").append(Field(wkt, code));
    const std::string ogc_wkt = OgcWkt(context, system);
    line.append("\t").append(ogc_wkt.empty() ? ogc_wkt : Field(ogc_wkt, code));
  }
  proj_destroy(system);
  return line;
}

// The systems of one type, deprecated ones by name only: the projected with unit and WKT, the
// geographic by name.
void AddSystems(const Contexts& contexts, PJ_TYPE type, std::vector<System>& systems) {
  PROJ_CRS_LIST_PARAMETERS* parameters = proj_get_crs_list_parameters_create();
  parameters->types = &type;
  parameters->typesCount = 1;
  parameters->allow_deprecated = 1;
  int count = 0;
  PROJ_CRS_INFO** list =
      proj_get_crs_info_list_from_database(contexts.database, "EPSG", parameters, &count);
  proj_get_crs_list_parameters_destroy(parameters);
  if (list == nullptr) {
    Die("PROJ's database lists no EPSG systems");
  }
  for (int i = 0; i < count; ++i) {
    const PROJ_CRS_INFO& info = *list[i];
    const long code = std::strtol(info.code, nullptr, 10);
    std::string line = std::to_string(code) + "\t";
    if (info.deprecated) {
      line.append("d\t").append(Field(info.name, code));
    } else if (type == PJ_TYPE_PROJECTED_CRS) {
      line.append(ProjectedLine(contexts, info, code));
    } else {
      line.append("g\t").append(Field(info.name, code));
      if (code == kWgs84) {
        PJ* system = proj_create_from_database(contexts.database, "EPSG", info.code,
                                               PJ_CATEGORY_CRS, 0, nullptr);
        line.append("\t").append(Field(OgcWkt(contexts.database, system), code));
        proj_destroy(system);
      }
    }
    systems.push_back({code, line + "\n"});
  }
  proj_crs_info_list_destroy(list);
}

// The table packed by zlib at its best, which the program unpacks with uncompress().
std::string Packed(const std::string& text) {
  uLongf size = compressBound(static_cast<uLong>(text.size()));
  std::string packed(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    Die("zlib cannot pack the table");
  }
  packed.resize(size);
  return packed;
}

void WriteSource(const char* path, const std::string& packed, std::size_t text_size,
                 std::size_t systems) {
  std::ofstream out(path, std::ios::binary);
  out << "// Made by tools/crs_table/make_crs_table from PROJ " << PROJ_VERSION_MAJOR << "."
      << PROJ_VERSION_MINOR << "." << PROJ_VERSION_PATCH << "'s database: " << systems
      << " systems. Do not edit.\n"
      << "#include \"console/crs_table.h\"\n\nnamespace console::detail {\n"
      << "extern const std::size_t kCrsTableSize = " << text_size << ";\n"
      << "extern const unsigned char kCrsTable[] = {";
  for (std::size_t i = 0; i < packed.size(); ++i) {
    out << (i % 24 == 0 ? "\n" : "") << static_cast<unsigned>(static_cast<unsigned char>(packed[i]))
        << ",";
  }
  out << "\n};\nextern const std::size_t kCrsTablePacked = sizeof kCrsTable;\n"
      << "extern const char kCrsSource[] = \"PROJ " << PROJ_VERSION_MAJOR << "."
      << PROJ_VERSION_MINOR << "." << PROJ_VERSION_PATCH
      << "\";\n}  // namespace console::detail\n";
  if (!out.flush()) {
    Die(std::string("cannot write ") + path);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    Die("usage: make_crs_table OUTPUT.cpp");
  }
  Contexts contexts{proj_context_create(), proj_context_create()};
  // Without this, PROJ says so on standard error for each system it cannot write as ESRI WKT,
  // and for each reading without the database, that it has none.
  proj_log_level(contexts.database, PJ_LOG_NONE);
  proj_log_func(contexts.plain, nullptr, [](void*, int, const char*) {});
  // A folder that is never made: no database is found there.
  const std::string nowhere =
      (std::filesystem::path(argv[1]).parent_path() / "no database").string();
  const char* search_paths[] = {nowhere.c_str()};
  proj_context_set_search_paths(contexts.plain, 1, search_paths);
  std::vector<System> systems;
  AddSystems(contexts, PJ_TYPE_PROJECTED_CRS, systems);
  AddSystems(contexts, PJ_TYPE_GEOGRAPHIC_2D_CRS, systems);
  AddSystems(contexts, PJ_TYPE_GEOGRAPHIC_3D_CRS, systems);
  std::sort(systems.begin(), systems.end(),
            [](const System& a, const System& b) { return a.code < b.code; });
  std::string text;
  for (const System& system : systems) {
    text += system.line;
  }
  const std::string packed = Packed(text);
  WriteSource(argv[1], packed, text.size(), systems.size());
  std::printf("make_crs_table: %zu systems, %zu bytes, %zu packed\n", systems.size(), text.size(),
              packed.size());
  proj_context_destroy(contexts.plain);
  proj_context_destroy(contexts.database);
}

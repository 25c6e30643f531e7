// A GeoPackage's spatial index built in one pass over points in order: SQLite's R*Tree tables
// (rtree.c's format: nodes of 24-byte cells, each an id and a box of single-precision bounds,
// its minimum rounded down and its maximum up) filled bottom-up, each node written once it is
// full, so that only one node a level is ever held. The tree reads as one SQLite's module built:
// its queries, its check and its later inserts and deletes work on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "file/database.h"

namespace grid {

class SpatialIndex {
 public:
  // The R*Tree `index`, made empty (CREATE VIRTUAL TABLE ... USING rtree) in `database`, to be
  // filled. Raises a file Failure.
  SpatialIndex(file::Database& database, const std::string& index);

  // The point `id` at x, y, after every point of a lower id.
  void Add(std::int64_t id, double x, double y);
  // Writes what is held, the root last. Raises a file Failure.
  void Finish();

 private:
  struct Node {
    std::vector<unsigned char> cells;  // the node's bytes, filled as cells come
    int count = 0;
    std::int64_t number = 0;  // 0 until its first cell
    float box[4] = {};        // min x, max x, min y, max y of its cells
  };

  // Adds the cell to the open node of `level`; the number of the node that holds it.
  std::int64_t AddCell(std::size_t level, std::int64_t id, const float box[4]);
  void Flush(std::size_t level);
  void Write(Node& node, file::Statement& statement, std::int64_t number, int depth);

  file::Database& database_;
  std::string index_;
  std::size_t node_bytes_;
  int capacity_;
  std::vector<Node> levels_;      // the open node of each level, the leaves' first
  std::int64_t next_number_ = 2;  // 1 is the root's
  file::Statement node_;
  file::Statement root_;
  file::Statement parent_;
  file::Statement rowid_;
};

}  // namespace grid

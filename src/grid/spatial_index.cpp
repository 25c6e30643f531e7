#include "grid/spatial_index.h"

#include <algorithm>
#include <bit>

namespace grid {
namespace {

constexpr std::size_t kNodeHeader = 4;  // the tree's depth (the root's own), the cells' count
constexpr std::size_t kCellBytes = 24;  // the id, then four floats, all big-endian

// SQLite's rounding of a bound to single precision: the nearest float, moved out by its own
// factor where that fell inside, so that the box holds the point.
constexpr double kTowardsZero = 1.0 - 1.0 / 8388608.0;
constexpr double kAwayFromZero = 1.0 + 1.0 / 8388608.0;

float Down(double value) {
  const auto rounded = static_cast<float>(value);
  return static_cast<double>(rounded) > value
             ? static_cast<float>(value * (value < 0 ? kAwayFromZero : kTowardsZero))
             : rounded;
}

float Up(double value) {
  const auto rounded = static_cast<float>(value);
  return static_cast<double>(rounded) < value
             ? static_cast<float>(value * (value < 0 ? kTowardsZero : kAwayFromZero))
             : rounded;
}

void PutBigEndian(unsigned char* at, std::uint64_t value, std::size_t bytes) {
  for (std::size_t i = bytes; i-- > 0; value >>= 8) {
    at[i] = static_cast<unsigned char>(value & 0xFF);
  }
}

std::string Quoted(const std::string& index, const char* table) {
  return file::QuotedName(index + table);
}

// Made as SQLite makes it, its empty root included; its nodes' size as SQLite chose it.
std::size_t Created(file::Database& database, const std::string& index) {
  database.Execute("CREATE VIRTUAL TABLE " + file::QuotedName(index) +
                   " USING rtree(id, minx, maxx, miny, maxy);");
  return static_cast<std::size_t>(
      file::Statement(database,
                      "SELECT length(data) FROM " + Quoted(index, "_node") + " WHERE nodeno = 1")
          .Single());
}

}  // namespace

SpatialIndex::SpatialIndex(file::Database& database, const std::string& index)
    : database_(database),
      index_(index),
      node_bytes_(Created(database, index)),
      capacity_(static_cast<int>((node_bytes_ - kNodeHeader) / kCellBytes)),
      node_(database, "INSERT INTO " + Quoted(index, "_node") + " (data, nodeno) VALUES (?, ?)"),
      root_(database, "UPDATE " + Quoted(index, "_node") + " SET data = ? WHERE nodeno = 1"),
      parent_(database, "INSERT INTO " + Quoted(index, "_parent") + " VALUES (?, ?)"),
      rowid_(database, "INSERT INTO " + Quoted(index, "_rowid") + " VALUES (?, ?)") {}

void SpatialIndex::Add(std::int64_t id, double x, double y) {
  const float box[4] = {Down(x), Up(x), Down(y), Up(y)};
  rowid_.Bind(1, id);
  rowid_.Bind(2, AddCell(0, id, box));
  rowid_.Run();
}

std::int64_t SpatialIndex::AddCell(std::size_t level, std::int64_t id, const float box[4]) {
  if (levels_.size() == level) {
    levels_.emplace_back();
  }
  Node& node = levels_[level];
  if (node.count == 0) {
    node.number = next_number_++;
    node.cells.assign(node_bytes_, 0);
    std::copy(box, box + 4, node.box);
  } else {
    node.box[0] = std::min(node.box[0], box[0]);
    node.box[1] = std::max(node.box[1], box[1]);
    node.box[2] = std::min(node.box[2], box[2]);
    node.box[3] = std::max(node.box[3], box[3]);
  }
  unsigned char* cell =
      node.cells.data() + kNodeHeader + kCellBytes * static_cast<std::size_t>(node.count);
  PutBigEndian(cell, static_cast<std::uint64_t>(id), 8);
  for (std::size_t i = 0; i < 4; ++i) {
    PutBigEndian(cell + 8 + 4 * i, std::bit_cast<std::uint32_t>(box[i]), 4);
  }
  ++node.count;
  const std::int64_t holder = node.number;
  if (node.count == capacity_) {
    Flush(level);
  }
  return holder;
}

// A node written, and its cell given to its parent, which may fill and be written in turn.
void SpatialIndex::Flush(std::size_t level) {
  Node& node = levels_[level];
  const std::int64_t number = node.number;
  float box[4];
  std::copy(node.box, node.box + 4, box);
  Write(node, node_, number, 0);
  node.count = 0;
  const std::int64_t parent = AddCell(level + 1, number, box);
  parent_.Bind(1, number);
  parent_.Bind(2, parent);
  parent_.Run();
}

void SpatialIndex::Write(Node& node, file::Statement& statement, std::int64_t number, int depth) {
  PutBigEndian(node.cells.data(), static_cast<std::uint64_t>(depth), 2);
  PutBigEndian(node.cells.data() + 2, static_cast<std::uint64_t>(node.count), 2);
  statement.BindBlob(1, node.cells.data(), node.cells.size());
  if (number != 1) {
    statement.Bind(2, number);
  }
  statement.Run();
}

void SpatialIndex::Finish() {
  for (std::size_t level = 0; level < levels_.size(); ++level) {
    if (level + 1 < levels_.size()) {
      if (levels_[level].count > 0) {
        Flush(level);
      }
      continue;
    }
    // The top node is the root, node 1, which the tree's depth is kept in: what was written
    // naming the number it had open now names 1.
    Node& top = levels_[level];
    Write(top, root_, 1, static_cast<int>(level));
    database_.Execute(
        level == 0 ? "UPDATE " + Quoted(index_, "_rowid") +
                         " SET nodeno = 1 WHERE nodeno = " + std::to_string(top.number)
                   : "UPDATE " + Quoted(index_, "_parent") +
                         " SET parentnode = 1 WHERE parentnode = " + std::to_string(top.number));
  }
}

}  // namespace grid

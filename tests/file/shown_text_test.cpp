// Sizes as messages and the progress texts show them.
#include "file/shown_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace file {
namespace {

struct SizeCase {
  std::uint64_t bytes;
  const char* shown;
};

class SizeTextTest : public testing::TestWithParam<SizeCase> {};

// Bytes below 1000, then one decimal of the largest unit that keeps the number below 1000 once
// rounded: 999,950 bytes are 1.0 MB, not 1000.0 kB.
TEST_P(SizeTextTest, RoundsToTheUnitItShows) {
  EXPECT_EQ(SizeText(GetParam().bytes), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SizeTextTest,
                         testing::Values(SizeCase{0, "0 bytes"}, SizeCase{1, "1 byte"},
                                         SizeCase{999, "999 bytes"}, SizeCase{1000, "1.0 kB"},
                                         SizeCase{1049, "1.0 kB"}, SizeCase{1050, "1.1 kB"},
                                         SizeCase{999949, "999.9 kB"}, SizeCase{999950, "1.0 MB"},
                                         SizeCase{19'600'000, "19.6 MB"},
                                         SizeCase{999'950'000'000, "1.0 TB"},
                                         SizeCase{28'607'032'775, "28.6 GB"},
                                         SizeCase{5'000'000'000'000'000, "5000.0 TB"}));

}  // namespace
}  // namespace file

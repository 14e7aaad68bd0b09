// Input records fetched and skipped: terminators, long records, buffer refills.
#include "records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process_runner.h"
#include "record_io.h"
#include "unit_helpers.h"

namespace {

using io::open_status_code;
using test::close_unit_number;
using test::connect;

struct fetch_case {
  const char* bytes;
  std::vector<std::string> records;
  const char* why;
};

TEST(fetch_input_record, splits_records_at_lf_and_crlf) {
  const fetch_case cases[] = {
      {"12\r\n", {"12"}, "CR LF ends a record"},
      {"12\n", {"12"}, "LF alone ends a record"},
      {"12\r3\n", {"12\r3"}, "a lone CR is data"},
      {"a\r\r\n", {"a\r"}, "only the CR right before the LF is part of the terminator"},
      {"a\r", {"a\r"}, "a CR at the end of the file is data"},
      {"a\nlast", {"a", "last"}, "a last line without terminator is a record"},
      {"\n\r\n", {"", ""}, "empty records"},
      {"", {}, "an empty file has no record"},
  };
  test::temp_dir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    dir.write("in.txt", c.bytes);
    std::int32_t iostat = 0;
    ASSERT_EQ(connect(48, (dir / "in.txt").string(), open_status_code::OPEN_OLD, iostat), 0);
    auto& connection = *io::find_unit(48);
    for (const auto& expected : c.records) {
      ASSERT_EQ(io::fetch_input_record(connection), 0);
      const auto& buffer = io::input_record();
      EXPECT_EQ(std::string(buffer.bytes, static_cast<std::size_t>(buffer.fetched_length)), expected);
      EXPECT_EQ(buffer.bytes[buffer.fetched_length], '\n');  // the sentinel
    }
    EXPECT_EQ(io::fetch_input_record(connection), io::ERROR_END_OF_FILE);
    close_unit_number(48);
  }
}

TEST(fetch_input_record, grows_the_buffer_for_long_records) {
  test::temp_dir dir;
  const std::string record(100000, 'x');
  dir.write("long.txt", record + "\r\nshort\r\n");
  std::int32_t iostat = 0;
  ASSERT_EQ(connect(49, (dir / "long.txt").string(), open_status_code::OPEN_OLD, iostat), 0);
  auto& connection = *io::find_unit(49);
  ASSERT_EQ(io::fetch_input_record(connection), 0);
  EXPECT_EQ(io::input_record().fetched_length, 100000);
  EXPECT_GE(io::input_record().capacity, 100001);
  ASSERT_EQ(io::fetch_input_record(connection), 0);
  EXPECT_EQ(std::string(io::input_record().bytes, 5), "short");
  close_unit_number(49);
}

// Records are scanned a stream buffer at a time: a CR LF split by a refill still ends the
// record, and skipping a record finds the same boundary as fetching it.
TEST(fetch_input_record, finds_terminators_split_across_buffer_refills) {
  test::temp_dir dir;
  for (const std::size_t length : {65534u, 65535u, 65536u, 131071u}) {
    SCOPED_TRACE(length);
    dir.write("split.txt", std::string(length, 'x') + "\r\nskipped\r\nlast\r\n");
    std::int32_t iostat = 0;
    ASSERT_EQ(connect(50, (dir / "split.txt").string(), open_status_code::OPEN_OLD, iostat), 0);
    auto& connection = *io::find_unit(50);
    ASSERT_EQ(io::fetch_input_record(connection), 0);
    EXPECT_EQ(io::input_record().fetched_length, static_cast<std::int32_t>(length));
    ASSERT_EQ(io::skip_input_record(connection), 0);
    ASSERT_EQ(io::fetch_input_record(connection), 0);
    EXPECT_EQ(std::string(io::input_record().bytes, 5), "last\n");
    EXPECT_EQ(io::fetch_input_record(connection), io::ERROR_END_OF_FILE);
    close_unit_number(50);
  }
}

}  // namespace

// The unit of a data-transfer statement: the checks every statement makes, truncation after
// reads, direct-access placement.
#include "transfer.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "process_runner.h"
#include "record_io.h"
#include "records.h"
#include "statement.h"
#include "unit_helpers.h"

namespace {

using io::open_status_code;
using test::close_unit_number;
using test::connect;
using test::connect_direct;

// Statement after statement on one unit: the short path for a unit used as last time must
// still refuse what the full preparation refuses.
struct transfer_step {
  io::transfer_direction direction;
  const std::int32_t* record;
  std::int32_t iostat;  // 0: the unit is ready
  const char* why;
};

TEST(unit_for_transfer, checks_every_statement_on_a_unit_used_again) {
  using enum io::transfer_direction;
  static constexpr std::int32_t record_one = 1;
  const transfer_step steps[] = {
      {DIRECTION_READ, nullptr, 0, "first read"},
      {DIRECTION_READ, nullptr, 0, "second read, same direction"},
      {DIRECTION_READ, &record_one, io::ERROR_CONFLICTING_SPECIFIERS, "REC= on a sequential unit"},
      {DIRECTION_WRITE, nullptr, 0, "a write after reads"},
      {DIRECTION_WRITE, nullptr, 0, "and another"},
      {DIRECTION_WRITE, &record_one, io::ERROR_CONFLICTING_SPECIFIERS, "REC= again"},
  };
  test::temp_dir dir;
  dir.write("s.txt", "a\nb\n");
  std::int32_t iostat = 0;
  ASSERT_EQ(connect(48, (dir / "s.txt").string(), open_status_code::OPEN_OLD, iostat), 0);
  std::int32_t records_before = io::find_unit(48)->record_counter;
  for (const auto& step : steps) {
    SCOPED_TRACE(step.why);
    iostat = 0;
    io::io_statement_begin(48, SPECIFIER_IOSTAT, &iostat, io::KIND_LIST_READ);
    const auto* connection =
        io::unit_for_transfer(48, io::form_code::FORM_FORMATTED, step.record, step.direction);
    EXPECT_EQ(iostat, step.iostat);
    EXPECT_EQ(connection == nullptr, step.iostat != 0);
    if (connection != nullptr && step.direction == DIRECTION_WRITE) {
      // A write counts its record when the unit is readied.
      EXPECT_EQ(connection->record_counter, records_before + 1);
    }
    records_before = io::find_unit(48)->record_counter;
  }
  io::io_statement_begin(48, SPECIFIER_IOSTAT, &iostat, io::KIND_LIST_READ);
  io::io_set_pos(1, 1);
  EXPECT_EQ(io::unit_for_transfer(48, io::form_code::FORM_FORMATTED, nullptr, DIRECTION_WRITE), nullptr);
  EXPECT_EQ(iostat, io::ERROR_POS_NOT_STREAM);
  close_unit_number(48);
}

TEST(unit_for_transfer, truncates_after_reads_when_writing) {
  test::temp_dir dir;
  dir.write("t.txt", "one\r\ntwo\r\nthree\r\n");
  std::int32_t iostat = 0;
  ASSERT_EQ(connect(50, (dir / "t.txt").string(), open_status_code::OPEN_OLD, iostat), 0);
  auto* connection = io::unit_for_transfer(50, io::form_code::FORM_FORMATTED, nullptr,
                                           io::transfer_direction::DIRECTION_READ);
  ASSERT_NE(connection, nullptr);
  ASSERT_EQ(io::fetch_input_record(*connection), 0);
  connection = io::unit_for_transfer(50, io::form_code::FORM_FORMATTED, nullptr,
                                     io::transfer_direction::DIRECTION_WRITE);
  ASSERT_NE(connection, nullptr);
  ASSERT_EQ(io::write_record_bytes(*connection, "new"), 0);
  ASSERT_EQ(io::write_record_terminator(*connection), 0);
  close_unit_number(50);
  EXPECT_EQ(dir.read("t.txt"), "one\r\nnew\r\n");
}

TEST(unit_for_transfer, checks_direction_against_action) {
  std::int32_t iostat = 0;
  io::io_statement_begin(5, SPECIFIER_IOSTAT, &iostat, io::KIND_LIST_WRITE);
  EXPECT_EQ(io::unit_for_transfer(5, io::form_code::FORM_FORMATTED, nullptr,
                                  io::transfer_direction::DIRECTION_WRITE),
            nullptr);
  EXPECT_EQ(iostat, io::ERROR_READ_ONLY);
  io::io_statement_begin(6, SPECIFIER_IOSTAT, &iostat, io::KIND_LIST_READ);
  EXPECT_EQ(io::unit_for_transfer(6, io::form_code::FORM_FORMATTED, nullptr,
                                  io::transfer_direction::DIRECTION_READ),
            nullptr);
  EXPECT_EQ(iostat, io::ERROR_WRITE_ONLY);
}

// A record far past the end: the gap reads as zero bytes and is made in one step.
TEST(unit_for_transfer, extends_a_direct_file_with_zeros_up_to_the_record) {
  test::temp_dir dir;
  ASSERT_EQ(connect_direct(51, (dir / "d.dat").string(), 10), 0);
  std::int32_t iostat = 0;
  const std::int32_t record = 1000;
  io::io_statement_begin(51, SPECIFIER_IOSTAT, &iostat, io::KIND_FORMATTED_WRITE);
  auto* connection = io::unit_for_transfer(51, io::form_code::FORM_FORMATTED, &record,
                                           io::transfer_direction::DIRECTION_WRITE);
  ASSERT_NE(connection, nullptr);
  ASSERT_EQ(io::write_record_bytes(*connection, "0123456789"), 0);
  close_unit_number(51);
  EXPECT_EQ(dir.read("d.dat"), std::string(9990, '\0') + "0123456789");
}

// The record counter goes one past the record: the largest number is refused, not overflowed.
TEST(unit_for_transfer, refuses_the_largest_record_number) {
  test::temp_dir dir;
  ASSERT_EQ(connect_direct(52, (dir / "e.dat").string(), 4), 0);
  const std::int32_t record = INT32_MAX;
  for (const auto direction : {io::transfer_direction::DIRECTION_READ, io::transfer_direction::DIRECTION_WRITE}) {
    std::int32_t iostat = 0;
    io::io_statement_begin(52, SPECIFIER_IOSTAT, &iostat, io::KIND_LIST_READ);
    EXPECT_EQ(io::unit_for_transfer(52, io::form_code::FORM_FORMATTED, &record, direction), nullptr);
    EXPECT_EQ(iostat, direction == io::transfer_direction::DIRECTION_READ ? io::ERROR_NO_RECORD
                                                                          : io::ERROR_DIRECT_ACCESS);
  }
  close_unit_number(52);
}

}  // namespace

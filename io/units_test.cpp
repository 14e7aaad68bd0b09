// Connection rules, record fetch and truncation, exercised in process with errors returned.
#include "units.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <memory>
#include <filesystem>
#include <string>

#include "process_runner.h"
#include "record_io.h"
#include "records.h"
#include "statement.h"

namespace {

using io::open_status_code;

// Every statement here asks for its errors back (IOSTAT=), so nothing ends the process.
struct returned_errors {
  std::int32_t iostat = 0;
  explicit returned_errors(std::int32_t unit = 40) {
    io::io_statement_begin(unit, SPECIFIER_IOSTAT, &iostat, io::KIND_OPEN);
  }
};

std::int32_t connect(std::int32_t unit, const std::string& name, open_status_code status,
                     std::int32_t& iostat) {
  io::io_statement_begin(unit, SPECIFIER_IOSTAT, &iostat, io::KIND_OPEN);
  io::connect_request request;
  request.status = status;
  request.name = name;
  return io::connect_unit(unit, request);
}

void close_unit_number(std::int32_t unit) {
  std::int32_t iostat = 0;
  io::io_statement_begin(unit, SPECIFIER_IOSTAT, &iostat, io::KIND_CLOSE);
  if (auto* connection = io::find_unit(unit)) io::disconnect_unit(*connection, io::dispose_code::DISPOSE_UNSET);
}

struct keyword_case {
  const char* text;
  const char* keyword;
  bool matches;
};
constexpr keyword_case keyword_cases[] = {
    {"readwrite", "READWRITE", true},
    {"ReadWrite  ", "READWRITE", true},  // trailing blanks are allowed
    {"READX", "READ", false},            // anything but blanks after the keyword
    {"REA", "READ", false},              // shorter than the keyword
    {"", "READ", false},                 // an empty text never matches
    {" READ", "READ", false},            // leading blanks are not skipped
};

TEST(match_keyword, folds_case_and_allows_trailing_blanks) {
  for (const auto& c : keyword_cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(io::match_keyword(std::string_view(c.text), c.keyword), c.matches);
  }
  EXPECT_FALSE(io::match_keyword(std::nullopt, "READ"));
}

TEST(console_units, are_made_by_the_first_statement) {
  returned_errors frame;
  for (std::int32_t unit : {-5, -6, 5, 6, 0}) {
    SCOPED_TRACE(unit);
    const auto* connection = io::find_unit(unit);
    ASSERT_NE(connection, nullptr);
    EXPECT_TRUE(connection->console);
    EXPECT_EQ(connection->access, io::access_code::ACCESS_SEQUENTIAL);
    EXPECT_EQ(connection->form, io::form_code::FORM_FORMATTED);
    EXPECT_EQ(connection->record_counter, 1);
  }
  EXPECT_EQ(io::find_unit(5)->action, io::action_code::ACTION_READ);
  EXPECT_EQ(io::find_unit(6)->action, io::action_code::ACTION_WRITE);
}

struct status_case {
  open_status_code status;
  bool file_exists;
  std::int32_t iostat;
  const char* why;
};
constexpr status_case status_cases[] = {
    {open_status_code::OPEN_OLD, false, io::ERROR_OLD_MISSING, "OLD needs the file"},
    {open_status_code::OPEN_OLD, true, 0, "OLD opens it"},
    {open_status_code::OPEN_NEW, true, io::ERROR_NEW_EXISTS, "NEW refuses an existing file"},
    {open_status_code::OPEN_NEW, false, 0, "NEW creates it"},
    {open_status_code::OPEN_REPLACE, true, 0, "REPLACE empties it"},
    {open_status_code::OPEN_UNKNOWN, false, 0, "UNKNOWN creates it"},
    {open_status_code::OPEN_UNKNOWN, true, 0, "UNKNOWN keeps it"},
};

TEST(connect_unit, honours_each_open_status) {
  test::temp_dir dir;
  for (const auto& c : status_cases) {
    SCOPED_TRACE(c.why);
    const std::string name = (dir / "data.txt").string();
    std::filesystem::remove(name);
    if (c.file_exists) dir.write("data.txt", "old\r\n");
    std::int32_t iostat = 0;
    const std::int32_t status = connect(41, name, c.status, iostat);
    EXPECT_EQ(iostat, c.iostat);
    EXPECT_EQ(status, c.iostat == 0 ? 0 : 1);
    EXPECT_EQ(io::find_unit(41) != nullptr, c.iostat == 0);
    close_unit_number(41);
    if (c.status == open_status_code::OPEN_REPLACE) {
      EXPECT_EQ(dir.read("data.txt"), "");
    }
    if (c.status == open_status_code::OPEN_UNKNOWN && c.file_exists) {
      EXPECT_EQ(dir.read("data.txt"), "old\r\n");
    }
  }
}

TEST(connect_unit, rejects_bad_names_and_units) {
  std::int32_t iostat = 0;
  EXPECT_EQ(connect(42, "   ", open_status_code::OPEN_UNKNOWN, iostat), 1);
  EXPECT_EQ(iostat, io::ERROR_FILE_NAME);
  EXPECT_EQ(connect(-3, "x", open_status_code::OPEN_UNKNOWN, iostat), 1);
  EXPECT_EQ(iostat, io::ERROR_UNIT_NUMBER);
}

TEST(connect_unit, applies_the_reopen_rules) {
  test::temp_dir dir;
  const std::string first = (dir / "a.txt").string(), second = (dir / "b.txt").string();
  std::int32_t iostat = 0;
  ASSERT_EQ(connect(43, first, open_status_code::OPEN_UNKNOWN, iostat), 0);
  // The same file on another unit.
  EXPECT_EQ(connect(44, "  " + first + "  ", open_status_code::OPEN_UNKNOWN, iostat), 1);
  EXPECT_EQ(iostat, io::ERROR_ALREADY_CONNECTED);
  // The same unit and file with another form conflicts.
  io::io_statement_begin(43, SPECIFIER_IOSTAT, &iostat, io::KIND_OPEN);
  io::connect_request request;
  request.name = first;
  request.form = io::form_code::FORM_UNFORMATTED;
  EXPECT_EQ(io::connect_unit(43, request), 1);
  EXPECT_EQ(iostat, io::ERROR_CONFLICTING_SPECIFIERS);
  // Another file on the same unit closes the first connection.
  ASSERT_EQ(connect(43, second, open_status_code::OPEN_UNKNOWN, iostat), 0);
  EXPECT_EQ(io::find_unit(43)->name, second);
  close_unit_number(43);
}

TEST(connect_unit, makes_scratch_files_in_tmp_and_deletes_them) {
  test::temp_dir dir;
  ::setenv("TMP", dir.path().c_str(), 1);
  std::int32_t iostat = 0;
  io::io_statement_begin(45, SPECIFIER_IOSTAT, &iostat, io::KIND_OPEN);
  io::connect_request request;
  request.status = open_status_code::OPEN_SCRATCH;
  ASSERT_EQ(io::connect_unit(45, request), 0);
  const std::string name = io::find_unit(45)->name;
  EXPECT_EQ(std::filesystem::path(name).parent_path(), dir.path());
  EXPECT_EQ(std::filesystem::path(name).filename().string().rfind("FTN", 0), 0u);
  EXPECT_FALSE(io::find_unit(45)->named);
  close_unit_number(45);
  EXPECT_FALSE(std::filesystem::exists(name));
  ::unsetenv("TMP");
}

TEST(unit_pool, reuses_a_closed_record) {
  test::temp_dir dir;
  std::int32_t iostat = 0;
  ASSERT_EQ(connect(46, (dir / "p.txt").string(), open_status_code::OPEN_UNKNOWN, iostat), 0);
  const io::unit_connection* first = io::find_unit(46);
  close_unit_number(46);
  ASSERT_EQ(connect(47, (dir / "q.txt").string(), open_status_code::OPEN_UNKNOWN, iostat), 0);
  EXPECT_EQ(io::find_unit(47), first);
  close_unit_number(47);
}

TEST(find_unit, forgets_a_closed_connection) {
  test::temp_dir dir;
  std::int32_t iostat = 0;
  ASSERT_EQ(connect(46, (dir / "p.txt").string(), open_status_code::OPEN_UNKNOWN, iostat), 0);
  ASSERT_NE(io::find_unit(46), nullptr);
  close_unit_number(46);
  EXPECT_EQ(io::find_unit(46), nullptr);
  // The closed record goes back to the pool with number 0, which is the error unit's.
  const io::unit_connection* error_unit = io::find_unit(0);
  ASSERT_NE(error_unit, nullptr);
  EXPECT_EQ(error_unit->name, "stderr");
}

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

}  // namespace

namespace {

std::int32_t connect_direct(std::int32_t unit, const std::string& name, std::int32_t recl) {
  std::int32_t iostat = 0;
  io::io_statement_begin(unit, SPECIFIER_IOSTAT, &iostat, io::KIND_OPEN);
  io::connect_request request;
  request.name = name;
  request.access = io::access_code::ACCESS_DIRECT;
  request.recl = recl;
  return io::connect_unit(unit, request);
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

// The report names the file of the failing statement even when a caller reuses its buffer,
// on the stack or on the heap, and when paths alternate between literals and buffers.
TEST(io_source_position, follows_a_path_rewritten_in_place) {
  char path[] = "first.f";
  io::io_source_position(1, path);
  std::memcpy(path, "other.f", 7);
  io::io_source_position(2, path);
  EXPECT_EQ(io::statement().source_file, "other.f");

  static char kept[] = "kept.f";  // writable static storage
  const auto heap = std::make_unique<char[]>(8);
  std::memcpy(heap.get(), "heap.f", 7);
  const std::string_view literal = "literal.f";
  struct step {
    std::string_view passed;
    const char* rewrite;  // written into the buffer after the call, if any
    std::string_view named;
  };
  const step steps[] = {
      {literal, nullptr, "literal.f"}, {literal, nullptr, "literal.f"},
      {kept, "seen.f", "kept.f"},      {kept, nullptr, "seen.f"},
      {literal, nullptr, "literal.f"}, {{heap.get(), 6}, "heap.g", "heap.f"},
      {{heap.get(), 6}, nullptr, "heap.g"}, {literal.substr(0, 7), nullptr, "literal"},
  };
  std::int32_t line = 10;
  for (const step& s : steps) {
    io::io_source_position(++line, s.passed);
    EXPECT_EQ(io::statement().source_file, s.named) << "line " << line;
    if (s.rewrite != nullptr) std::memcpy(const_cast<char*>(s.passed.data()), s.rewrite, s.passed.size());
  }
}

}  // namespace

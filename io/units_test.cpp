// The unit table: keywords, console units, connection rules and the connection pool,
// exercised in process with errors returned.
#include "units.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "process_runner.h"
#include "record_io.h"
#include "statement.h"
#include "unit_helpers.h"

namespace {

using io::open_status_code;
using test::close_unit_number;
using test::connect;

// Every statement here asks for its errors back (IOSTAT=), so nothing ends the process.
struct returned_errors {
  std::int32_t iostat = 0;
  explicit returned_errors(std::int32_t unit = 40) {
    io::io_statement_begin(unit, SPECIFIER_IOSTAT, &iostat, io::KIND_OPEN);
  }
};

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
  io::connect_request request;
  request.name = first;
  request.form = io::form_code::FORM_UNFORMATTED;
  EXPECT_EQ(connect(43, request, iostat), 1);
  EXPECT_EQ(iostat, io::ERROR_CONFLICTING_SPECIFIERS);
  // Another file on the same unit replaces that connection, which the OPEN closes first.
  request.form = io::form_code::FORM_FORMATTED;
  request.name = second;
  EXPECT_EQ(io::connection_replaced_by(43, request), io::find_unit(43));
  const std::string padded = "  " + first;
  request.name = padded;
  EXPECT_EQ(io::connection_replaced_by(43, request), nullptr);
  close_unit_number(43);
}

TEST(connect_unit, makes_scratch_files_in_tmp_and_deletes_them) {
  test::temp_dir dir;
  ::setenv("TMP", dir.path().c_str(), 1);
  std::int32_t iostat = 0;
  io::connect_request request;
  request.status = open_status_code::OPEN_SCRATCH;
  ASSERT_EQ(connect(45, request, iostat), 0);
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

}  // namespace

// OPEN and CLOSE: every specifier value and every refusal, in process with errors returned,
// and the fatal report of a refused OPEN as a program shows it.
#include "open_close.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <optional>
#include <string>

#include "process_runner.h"
#include "record_io.h"
#include "statement.h"
#include "units.h"

namespace {

using namespace io;
namespace fs = std::filesystem;

constexpr std::int32_t test_unit = 30;
constexpr const char* data_file = "oc.dat";

// Specifier texts of one OPEN; null stands for an omitted specifier.
struct open_texts {
  const char* access = nullptr;
  const char* action = nullptr;
  const char* form = nullptr;
  const char* delim = nullptr;
  const char* blank = nullptr;
  const char* pad = nullptr;
  const char* position = nullptr;
  const char* status = nullptr;
  const char* dispose = nullptr;
  std::optional<std::int32_t> recl = std::nullopt;
  const char* file = data_file;
};

std::optional<std::string_view> text(const char* p) {
  return p == nullptr ? std::nullopt : std::optional<std::string_view>(p);
}

// Returns the status; the iostat variable gets the code (errors come back, flag 0x01).
std::int32_t open_with(const open_texts& t, std::int32_t& iostat, std::int32_t unit = test_unit) {
  open_specifiers s;
  s.access = text(t.access);
  s.action = text(t.action);
  s.form = text(t.form);
  s.delim = text(t.delim);
  s.blank = text(t.blank);
  s.pad = text(t.pad);
  s.position = text(t.position);
  s.status = text(t.status);
  s.dispose = text(t.dispose);
  s.file = text(t.file);
  s.recl = t.recl ? &*t.recl : nullptr;
  iostat = -1;
  return open_statement(unit, SPECIFIER_IOSTAT, &iostat, s);
}

std::int32_t close_with(std::int32_t unit, const char* status, std::int32_t& iostat) {
  iostat = -1;
  return close_statement(unit, SPECIFIER_IOSTAT, &iostat, text(status));
}

void close_quietly(std::int32_t unit) {
  std::int32_t iostat = 0;
  close_with(unit, nullptr, iostat);
}

// Every test runs in a fresh directory, so relative FILE= names stay inside it.
class open_close : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    fs::current_path(dir_.path());
  }
  void TearDown() override {
    for (std::int32_t unit = 30; unit < 40; ++unit) close_quietly(unit);
    fs::current_path(previous_);
  }
  test::temp_dir dir_;
  fs::path previous_;
};

// What the connection holds after a successful OPEN; the defaults are those of FILE= alone.
struct expected_connection {
  access_code access = access_code::ACCESS_SEQUENTIAL;
  action_code action = action_code::ACTION_READWRITE;
  form_code form = form_code::FORM_FORMATTED;
  delim_code delim = delim_code::DELIM_NONE;
  blank_code blank = blank_code::BLANK_NULL;
  pad_code pad = pad_code::PAD_YES;
  position_code position = position_code::POSITION_ASIS;
  dispose_code dispose = dispose_code::DISPOSE_KEEP;
  unit_kind kind = unit_kind::KIND_FILE;
  bool raw = false;
  std::int32_t record_length = 0;
  bool truncate_pending = true;
};

struct accepted_case {
  open_texts texts;
  bool file_exists;
  expected_connection expected;
  const char* why;
};

using enum access_code;
using enum action_code;
using enum form_code;
using enum delim_code;
using enum blank_code;
using enum pad_code;
using enum position_code;
using enum dispose_code;

const accepted_case accepted_cases[] = {
    {{}, false, {}, "FILE= alone: the defaults that primefac relies on"},
    {{}, true, {}, "an existing file is kept and opened for update"},
    {{.access = "SEQUENTIAL"}, false, {}, "the default spelled out"},
    {{.access = "Sequential"}, false, {}, "letter case does not matter"},
    {{.access = "direct", .recl = 8}, false,
     {.access = ACCESS_DIRECT, .form = FORM_UNFORMATTED, .record_length = 8,
      .truncate_pending = false},
     "direct access defaults to unformatted"},
    {{.access = "DIRECT", .form = "FORMATTED", .recl = 3}, false,
     {.access = ACCESS_DIRECT, .record_length = 3, .truncate_pending = false},
     "a formatted direct file"},
    {{.access = "STREAM"}, false, {.access = ACCESS_STREAM}, "stream access stays formatted"},
    {{.access = "STREAM", .form = "UNFORMATTED"}, false,
     {.access = ACCESS_STREAM, .form = FORM_UNFORMATTED, .raw = true},
     "unformatted stream has no record framing"},
    {{.access = "APPEND"}, false, {.position = POSITION_APPEND, .truncate_pending = false},
     "APPEND is sequential at the end"},
    {{.access = "SEQUENTIAL", .recl = 80}, false, {}, "RECL is ignored without direct access"},
    {{.action = "READ"}, true, {.action = ACTION_READ}, "read only"},
    {{.action = "write"}, false, {.action = ACTION_WRITE}, "write only"},
    {{.action = "readwrite  "}, false, {}, "trailing blanks after a keyword"},
    {{.form = "UNFORMATTED"}, false, {.form = FORM_UNFORMATTED}, "sequential unformatted"},
    {{.form = "BINARY"}, false, {.form = FORM_UNFORMATTED, .raw = true}, "BINARY is raw"},
    {{.delim = "APOSTROPHE"}, false, {.delim = DELIM_APOSTROPHE}, "apostrophe delimiter"},
    {{.delim = "QUOTE"}, false, {.delim = DELIM_QUOTE}, "quote delimiter"},
    {{.delim = "NONE"}, false, {}, "no delimiter"},
    {{.blank = "ZERO"}, false, {.blank = BLANK_ZERO}, "blanks as zeros"},
    {{.blank = "NULL"}, false, {}, "blanks ignored"},
    {{.pad = "NO"}, false, {.pad = PAD_NO}, "no padding"},
    {{.pad = "YES"}, false, {}, "padding"},
    {{.position = "ASIS"}, true, {}, "ASIS keeps the start of an existing file"},
    {{.position = "REWIND"}, true, {.position = POSITION_REWIND}, "rewind"},
    {{.position = "APPEND"}, true, {.position = POSITION_APPEND, .truncate_pending = false},
     "POSITION= replaces what ACCESS= gave"},
    {{.access = "APPEND", .position = "REWIND"}, true, {.position = POSITION_REWIND},
     "POSITION= overrides ACCESS=APPEND"},
    {{.status = "OLD"}, true, {}, "OLD finds the file"},
    {{.status = "NEW"}, false, {.truncate_pending = false}, "NEW creates it"},
    {{.status = "REPLACE"}, true, {.truncate_pending = false}, "REPLACE empties it"},
    {{.status = "UNKNOWN"}, false, {}, "the default spelled out"},
    {{.status = "SCRATCH", .file = nullptr}, false,
     {.dispose = DISPOSE_DELETE, .kind = unit_kind::KIND_SCRATCH, .truncate_pending = false},
     "a scratch file is deleted at close by default"},
    {{.dispose = "KEEP"}, false, {}, "keep"},
    {{.dispose = "SAVE"}, false, {}, "SAVE is KEEP"},
    {{.dispose = "DELETE"}, false, {.dispose = DISPOSE_DELETE}, "delete at close"},
    {{.action = "READ", .status = "OLD", .dispose = "KEEP"}, true, {.action = ACTION_READ},
     "READ is fine when nothing is destroyed"},
};

TEST_F(open_close, open_decodes_every_specifier_value) {
  for (const auto& c : accepted_cases) {
    SCOPED_TRACE(c.why);
    if (c.file_exists) dir_.write(data_file, "old\r\n");
    std::int32_t iostat = 0;
    ASSERT_EQ(open_with(c.texts, iostat), 0);
    EXPECT_EQ(iostat, 0);
    const unit_connection* connection = find_unit(test_unit);
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(last_opened_unit(), connection);
    const auto& e = c.expected;
    EXPECT_EQ(connection->access, e.access);
    EXPECT_EQ(connection->action, e.action);
    EXPECT_EQ(connection->form, e.form);
    EXPECT_EQ(connection->delim, e.delim);
    EXPECT_EQ(connection->blank, e.blank);
    EXPECT_EQ(connection->pad, e.pad);
    EXPECT_EQ(connection->position, e.position);
    EXPECT_EQ(connection->dispose, e.dispose);
    EXPECT_EQ(connection->kind, e.kind);
    EXPECT_EQ(connection->raw, e.raw);
    EXPECT_EQ(connection->record_length, e.record_length);
    if (e.access != ACCESS_DIRECT) {
      EXPECT_EQ(connection->truncate_pending, e.truncate_pending);
    }
    close_quietly(test_unit);
    fs::remove(data_file);
  }
}

struct refused_case {
  open_texts texts;
  bool file_exists;
  std::int32_t unit;
  std::int32_t code;
  const char* why;
};

const refused_case refused_cases[] = {
    {{.access = "SEQUENTIALX"}, false, test_unit, 201, "anything after a keyword but blanks"},
    {{.access = ""}, false, test_unit, 201, "an empty value is not an omitted one"},
    {{.action = "READ WRITE"}, false, test_unit, 201, "unknown action"},
    {{.form = "PRINT"}, false, test_unit, 201, "unknown form"},
    {{.delim = "BOTH"}, false, test_unit, 201, "unknown delimiter"},
    {{.blank = "ONE"}, false, test_unit, 201, "unknown blank mode"},
    {{.pad = "MAYBE"}, false, test_unit, 201, "unknown pad mode"},
    {{.position = "END"}, false, test_unit, 201, "unknown position"},
    {{.status = "GONE"}, false, test_unit, 201, "unknown status"},
    {{.dispose = "PRINT"}, false, test_unit, 201, "unknown disposition"},
    {{.access = "DIRECT", .form = "BINARY", .recl = 4}, false, test_unit, 201,
     "BINARY has no records to address"},
    {{.form = "UNFORMATTED", .delim = "QUOTE"}, false, test_unit, 202, "DELIM needs FORMATTED"},
    {{.form = "BINARY", .blank = "ZERO"}, false, test_unit, 202, "BLANK needs FORMATTED"},
    {{.access = "DIRECT", .pad = "NO", .recl = 4}, false, test_unit, 202,
     "PAD needs FORMATTED, and direct defaults to unformatted"},
    {{.access = "DIRECT", .position = "ASIS", .recl = 4}, false, test_unit, 202,
     "POSITION needs sequential access"},
    {{.access = "STREAM", .position = "REWIND"}, false, test_unit, 202, "not for stream either"},
    {{.form = "UNFORMATTED", .delim = "BOTH"}, false, test_unit, 202,
     "the conflict is found before the value is matched"},
    {{.access = "DIRECT"}, false, test_unit, 203, "direct access needs RECL"},
    {{.access = "DIRECT", .recl = 0}, false, test_unit, 203, "RECL below 1"},
    {{.access = "DIRECT", .recl = INT_MIN}, false, test_unit, 203, "a very negative RECL"},
    {{.action = "READ", .status = "SCRATCH", .file = nullptr}, false, test_unit, 204,
     "a scratch file that cannot be written"},
    {{.action = "READ", .status = "REPLACE"}, true, test_unit, 204, "REPLACE would destroy it"},
    {{.action = "READ", .dispose = "DELETE"}, true, test_unit, 204, "DELETE would destroy it"},
    {{.status = "SCRATCH", .dispose = "KEEP", .file = nullptr}, false, test_unit, 205,
     "a scratch file cannot be kept"},
    {{.status = "SCRATCH", .dispose = "SAVE", .file = nullptr}, false, test_unit, 205,
     "nor saved"},
    {{.status = "SCRATCH"}, false, test_unit, 206, "a scratch file has no name"},
    {{.file = "stdout"}, false, 7, 207, "the console units carry that name"},
    {{.status = "NEW"}, true, test_unit, 208, "NEW refuses an existing file"},
    {{.status = "OLD"}, false, test_unit, 209, "OLD needs the file"},
    {{.file = "   "}, false, test_unit, 211, "a blank name"},
    {{.file = ""}, false, test_unit, 211, "an empty name"},
    {{}, false, -1, 212, "negative unit"},
    {{.file = "no_such_dir/oc.dat"}, false, test_unit, ENOENT, "the platform cannot create it"},
};

TEST_F(open_close, open_refuses_bad_specifiers_without_connecting) {
  for (const auto& c : refused_cases) {
    SCOPED_TRACE(c.why);
    if (c.file_exists) dir_.write(data_file, "old\r\n");
    std::int32_t iostat = 0;
    EXPECT_EQ(open_with(c.texts, iostat, c.unit), 1);
    EXPECT_EQ(iostat, c.code);
    EXPECT_TRUE(statement().statement_error);
    if (c.unit != 7) {
      EXPECT_EQ(find_unit(c.unit), nullptr);
    }
    // A refused OPEN leaves the files as they were.
    EXPECT_EQ(fs::exists(data_file), c.file_exists);
    if (c.file_exists) {
      EXPECT_EQ(dir_.read(data_file), "old\r\n");
    }
    fs::remove(data_file);
  }
  EXPECT_EQ(fs::directory_iterator(dir_.path()), fs::directory_iterator());
}

TEST_F(open_close, open_remembers_the_file_text_for_the_report) {
  std::int32_t iostat = 0;
  open_with({.file = "  name with blanks  "}, iostat);
  EXPECT_TRUE(statement().open_file_name_set);
  EXPECT_EQ(statement().open_file_name, "  name with blanks  ");
  EXPECT_EQ(find_unit(test_unit)->name, "name with blanks");  // trimmed for the connection only
  open_with({.status = "SCRATCH", .file = nullptr}, iostat, test_unit + 1);
  EXPECT_FALSE(statement().open_file_name_set);
}

TEST_F(open_close, reopen_of_the_same_file_changes_only_blank) {
  std::int32_t iostat = 0;
  ASSERT_EQ(open_with({.blank = "ZERO"}, iostat), 0);
  const unit_connection* first = find_unit(test_unit);
  ASSERT_EQ(open_with({.delim = "QUOTE", .pad = "NO"}, iostat), 0);
  EXPECT_EQ(find_unit(test_unit), first);
  EXPECT_EQ(first->blank, BLANK_NULL);  // back to the default
  EXPECT_EQ(first->delim, DELIM_NONE);  // the other specifiers are ignored
  EXPECT_EQ(first->pad, PAD_YES);
  EXPECT_EQ(open_with({.form = "UNFORMATTED"}, iostat), 1);
  EXPECT_EQ(iostat, 202);
  EXPECT_EQ(find_unit(test_unit), first);  // the refused re-OPEN keeps the connection
}

struct close_case {
  open_texts opened;
  const char* status;
  std::int32_t code;
  bool file_remains;
  bool still_connected;
  const char* why;
};

const close_case close_cases[] = {
    {{}, nullptr, 0, true, false, "the connection's own disposition: KEEP"},
    {{.dispose = "DELETE"}, nullptr, 0, false, false, "the connection's own disposition: DELETE"},
    {{.dispose = "DELETE"}, "KEEP", 0, true, false, "CLOSE overrides the OPEN's DELETE"},
    {{}, "save", 0, true, false, "SAVE is KEEP"},
    {{}, "DELETE", 0, false, false, "CLOSE deletes"},
    {{.action = "READ"}, "DELETE  ", 204, true, true, "a read-only connection is not deleted"},
    {{}, "PURGE", 201, true, true, "unknown status"},
    {{}, "", 201, true, true, "an empty status"},
};

TEST_F(open_close, close_applies_its_status) {
  for (const auto& c : close_cases) {
    SCOPED_TRACE(c.why);
    dir_.write(data_file, "old\r\n");
    std::int32_t iostat = 0;
    ASSERT_EQ(open_with(c.opened, iostat), 0);
    EXPECT_EQ(close_with(test_unit, c.status, iostat), c.code == 0 ? 0 : 1);
    EXPECT_EQ(iostat, c.code);
    EXPECT_EQ(fs::exists(data_file), c.file_remains);
    EXPECT_EQ(find_unit(test_unit) != nullptr, c.still_connected);
    close_quietly(test_unit);
    fs::remove(data_file);
  }
}

TEST_F(open_close, close_refuses_to_keep_a_scratch_file) {
  ::setenv("TMP", dir_.path().c_str(), 1);
  std::int32_t iostat = 0;
  ASSERT_EQ(open_with({.status = "SCRATCH", .file = nullptr}, iostat), 0);
  const std::string name = find_unit(test_unit)->name;
  EXPECT_EQ(close_with(test_unit, "KEEP", iostat), 1);
  EXPECT_EQ(iostat, 202);
  EXPECT_EQ(close_with(test_unit, nullptr, iostat), 0);
  EXPECT_FALSE(fs::exists(name));
  ::unsetenv("TMP");
}

TEST_F(open_close, close_of_units_without_a_connection) {
  std::int32_t iostat = 0;
  EXPECT_EQ(close_with(-6, nullptr, iostat), 1);
  EXPECT_EQ(iostat, 212);  // even a console unit's negative alias
  EXPECT_NE(find_unit(-6), nullptr);
  EXPECT_EQ(close_with(test_unit, "BOGUS", iostat), 0);  // nothing connected: STATUS= unread
  EXPECT_EQ(iostat, 0);
}

struct extended_case {
  const char *decimal, *round, *sign, *encoding;
  std::int32_t code;
  decimal_code decimal_value;
  round_code round_value;
  sign_code sign_value;
  encoding_code encoding_value;
  const char* why;
};

using enum decimal_code;
using enum round_code;
using enum sign_code;
using enum encoding_code;

constexpr extended_case extended_cases[] = {
    {nullptr, nullptr, nullptr, nullptr, 0, DECIMAL_POINT, ROUND_PROCESSOR_DEFINED,
     SIGN_PROCESSOR_DEFINED, ENCODING_DEFAULT, "absent values take the defaults"},
    {"comma", "up", "plus", "utf-8", 0, DECIMAL_COMMA, ROUND_UP, SIGN_PLUS, ENCODING_UTF8,
     "lower case is folded"},
    {"POINT", "DOWN", "SUPPRESS", "DEFAULT", 0, DECIMAL_POINT, ROUND_DOWN, SIGN_SUPPRESS,
     ENCODING_DEFAULT, "each other value"},
    {nullptr, "ZERO", "PROCESSOR_DEFINED", nullptr, 0, DECIMAL_POINT, ROUND_ZERO,
     SIGN_PROCESSOR_DEFINED, ENCODING_DEFAULT, "ZERO shares its code with BLANK=ZERO"},
    {nullptr, "NEAREST", nullptr, nullptr, 0, DECIMAL_POINT, ROUND_NEAREST, SIGN_PROCESSOR_DEFINED,
     ENCODING_DEFAULT, "nearest"},
    {nullptr, "COMPATIBLE", nullptr, nullptr, 0, DECIMAL_POINT, ROUND_COMPATIBLE,
     SIGN_PROCESSOR_DEFINED, ENCODING_DEFAULT, "compatible"},
    {nullptr, "PROCESSOR_DEFINED", nullptr, nullptr, 0, DECIMAL_POINT, ROUND_PROCESSOR_DEFINED,
     SIGN_PROCESSOR_DEFINED, ENCODING_DEFAULT, "processor defined"},
    {"COMMA", "SIDEWAYS", "PLUS", "UTF-8", 201, DECIMAL_COMMA, ROUND_UNSET, SIGN_UNSET,
     ENCODING_UTF8, "set in order: encoding and decimal stay, sign is never reached"},
    {nullptr, nullptr, nullptr, "ASCII", 201, DECIMAL_UNSET, ROUND_UNSET, SIGN_UNSET,
     ENCODING_UNSET, "encoding comes first; a refused value leaves its attribute alone"},
};

TEST_F(open_close, extended_specifiers_set_the_last_opened_unit) {
  for (const auto& c : extended_cases) {
    SCOPED_TRACE(c.why);
    std::int32_t iostat = 0;
    const std::int32_t opened = open_with({}, iostat);
    ASSERT_EQ(opened, 0);
    const std::int32_t status = open_extended(
        opened, {text(c.decimal), text(c.round), text(c.sign), text(c.encoding)});
    EXPECT_EQ(status, c.code == 0 ? 0 : 1);
    EXPECT_EQ(iostat, c.code);
    const unit_connection* connection = find_unit(test_unit);
    EXPECT_EQ(connection->decimal, c.decimal_value);
    EXPECT_EQ(connection->round, c.round_value);
    EXPECT_EQ(connection->sign, c.sign_value);
    EXPECT_EQ(connection->encoding, c.encoding_value);
    close_quietly(test_unit);
  }
}

TEST_F(open_close, extended_specifiers_need_a_formatted_connection) {
  std::int32_t iostat = 0;
  ASSERT_EQ(open_with({.form = "UNFORMATTED"}, iostat), 0);
  EXPECT_EQ(open_extended(0, {text("COMMA"), std::nullopt, std::nullopt, std::nullopt}), 1);
  EXPECT_EQ(iostat, 202);
  EXPECT_EQ(find_unit(test_unit)->decimal, DECIMAL_UNSET);
  // A failed OPEN's status passes through untouched.
  EXPECT_EQ(open_with({.status = "OLD", .file = "missing.dat"}, iostat, test_unit + 1), 1);
  EXPECT_EQ(open_extended(1, {text("BAD"), std::nullopt, std::nullopt, std::nullopt}), 1);
  EXPECT_EQ(iostat, 209);
  // The last opened unit was closed since: nothing to act on.
  close_quietly(test_unit);
  io_statement_begin(test_unit, SPECIFIER_IOSTAT, &iostat, KIND_OPEN);
  EXPECT_EQ(open_extended(0, {}), 1);
  EXPECT_EQ(iostat, 202);
}

// --- the fatal report, seen from outside ---

struct report_case {
  std::vector<std::string> statements;
  std::string standard_error;  // LF stands for CR LF
  const char* why;
};

TEST(open_report, names_the_file_text_and_ends_with_127) {
  const report_case cases[] = {
      {{"open|12|file=   "},
       "TKFIO-F-211/OPEN/unit=12/invalid file name.\n"
       " File name =    \n"
       " In source file oc_open.f, at line number 4\n",
       "the FILE= text as given, blanks and all"},
      {{"open|12|file=Numbers.dat|status=old"},
       "TKFIO-F-209/OPEN/unit=12/'OLD' specified for file which does not exist.\n"
       " File name = Numbers.dat\n"
       " In source file oc_open.f, at line number 4\n",
       "a missing file"},
      {{"open|7|file=stdout"},
       "TKFIO-F-207/OPEN/unit=7/file is already connected to another unit.\n"
       " File name = stdout\n"
       " In source file oc_open.f, at line number 4\n",
       "the console's name"},
      {{"open|13|access=SEQUENTIALX"},
       "TKFIO-F-201/OPEN/unit=13/illegal value for specifier.\n"
       " In source file oc_open.f, at line number 4\n",
       "no FILE=: no file line"},
      {{"open|13|file=Result.dat", "open|13|file=Result.dat|form=UNFORMATTED"},
       "TKFIO-F-202/OPEN/unit=13/conflicting specifiers.\n"
       " File name = Result.dat    formatted, sequential access   record = 0\n"
       " In source file oc_open.f, at line number 5\n",
       "a connected unit is described by its connection"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    test::temp_dir dir;
    test::run_options options;
    options.arguments = c.statements;
    options.directory = dir.path();
    options.unset_environment = {"LANG", "TKA_TERM"};
    const auto result = test::run_program("tp_oc_open", options);
    EXPECT_EQ(result.standard_error, test::crlf(c.standard_error));
    EXPECT_EQ(result.standard_output, "");
    EXPECT_EQ(result.exit_status, 127);
  }
}

TEST(open_report, quotes_the_platform_error_for_a_failed_open) {
  test::temp_dir dir;
  test::run_options options;
  options.arguments = {"open|12|file=missing_dir/x.dat"};
  options.directory = dir.path();
  options.unset_environment = {"LANG", "TKA_TERM"};
  const auto result = test::run_program("tp_oc_open", options);
  EXPECT_EQ(result.standard_error,
            "TKFIO/stdio: No such file or directory\n"
            "TKFIO-F-/OPEN/unit=12/error code returned by host stdio - 2.\r\n"
            " File name = missing_dir/x.dat\r\n"
            " In source file oc_open.f, at line number 4\r\n");
  EXPECT_EQ(result.exit_status, 127);
}

}  // namespace

// Formats given as text at run time, through the C interface: the code of every fault of a
// text, nothing transferred after one, the cache of compiled texts, one statement per text.
#include "format_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record_io.h"
#include "statement.h"

#include "counting_new.h"

namespace {

using namespace std::literals;

constexpr std::int32_t record_length = 24;
constexpr std::uint32_t one_and_a_half = 0x3FC00000u;  // 1.5f
constexpr std::uint32_t pi = 0x40490FDBu;               // 3.14159274f

struct outcome {
  std::string record;  // the variable, trailing blanks dropped; "#" bytes were never written
  std::int32_t status;  // of the begin
  std::int32_t iostat;
  std::string iomsg;
  std::int32_t later_status;  // the item and end calls, which must agree after a failure
};

// One statement as a program makes it: its position, the text, then an internal write of
// `words` (real items) under a null format, with IOSTAT= and IOMSG=.
outcome write_under_text(std::optional<std::string_view> text,
                         std::initializer_list<std::uint32_t> words = {pi},
                         bool give_position = true) {
  static std::int32_t line = 0;
  ++line;
  if (give_position) io_source_position(&line, "format_text_test.cpp", 20);
  if (text) io_set_format_text(text->data(), static_cast<std::int32_t>(text->size()));
  char iomsg[100];
  std::memset(iomsg, '?', sizeof iomsg);
  io_set_iomsg(iomsg, sizeof iomsg);
  std::string variable(record_length, '#');
  const std::int32_t one = 1, flags = SPECIFIER_IOSTAT | SPECIFIER_IOMSG;
  std::int32_t iostat = -7;
  outcome result{};
  result.status = fmt_internal_write_begin(variable.data(), &one, &flags, &iostat, nullptr, record_length);
  for (const std::uint32_t word : words) result.later_status |= fmt_write_scalar(word, TYPE_REAL4);
  result.later_status |= fmt_write_end();
  result.iostat = iostat;
  const std::string_view message{iomsg, sizeof iomsg};
  if (result.status != 0) result.iomsg = message.substr(0, message.find('\0'));
  variable.erase(variable.find_last_not_of(' ') + 1);
  result.record = variable;
  return result;
}

struct fault_case {
  std::string_view text;
  std::int32_t code;
  const char* why;
};
const fault_case fault_cases[] = {
    {"", 240, "an empty text"},
    {"F5.2", 240, "no parentheses at all"},
    {"  x(F5.2)", 240, "only blanks may come before the ("},
    {"(F5.2))", 222, "a ) after the final one closes nothing"},
    {"(F5.2) )x", 222, "and is met before what follows it"},
    {"(F5.2) x", 221, "text after the final )"},
    {"(F5.2", 241, "ends inside the parentheses"},
    {"(2(F5.2)", 241, "ends inside the outer group"},
    {"(F5.2,", 241, "ends after a comma"},
    {"(3", 241, "ends after a count"},
    {"(0F5.2)", 221, "a repeat count of 0"},
    {"(I3.4)", 221, "m above w"},
    {"(F5.2 F5.2)", 221, "a missing comma"},
    {"(F5.2 F5)", 221, "the missing comma comes before the F without .d"},
    {"(F5.2,,F5.2)", 221, "a comma with nothing before it"},
    {"(2T5, F5.2)", 221, "a count before a control edit"},
    {"(-2X, F5.2)", 221, "a sign only before P"},
    {"(A.5)", 221, "a . where the width stands"},
    {"(T0, F5.2)", 221, "a tab to position 0"},
    {"(X, F5.2)", 223, "X without its count"},
    {"(P, F5.2)", 223, "P without its scale factor"},
    {"(TL, F5.2)", 223, "TL without its count"},
    {"(B)", 223, "B without its width"},
    {"('abc, F5.2)", 224, "a literal never closed"},
    {"(9Habc)", 224, "an nH literal running past the text"},
    {"(H, F5.2)", 224, "H without its count"},
    {"(K5)", 226, "no descriptor begins with K"},
    {"(F5.2, W)", 226, "nor with W"},
    {"(F5.2 K5)", 226, "a letter that begins no item is its own fault"},
    {"(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(F5.2))))))))))))))))))))))", 243,
     "21 counted groups"},
    {"(F5)", 249, "F without .d"},
    {"(E10.3E)", 249, "E with nothing after its exponent letter"},
    {"(EN)", 249, "EN has no form without a width"},
    {"(D0.2)", 249, "D of width 0"},
    {"(F5.)", 250, "a . with no digits after it"},
    {"(I5.x)", 250, "nor after the . of I"},
    {"(-P, F5.2)", 250, "a - with no number"},
    {"(+)", 250, "a + with no number"},
    {"(F5.2, &)", 251, "a character no format uses"},
    {"(F5.2;F5.2)", 251, "a semicolon"},
    {"(F5.2,\0)"sv, 251, "a zero byte inside the text"},
    {"(\xC3\xA9)", 251, "bytes above 127 outside a literal"},
    {"(128P, F5.2)", 230, "a scale factor out of range"},
    {"(-99999999999P, F5.2)", 230, "however many digits it has"},
    {"(K5, F5)", 226, "of two faults, the first"},
    {"(F5, K5)", 249, "of the same two the other way round"},
    {"(F5.2, 'x'')", 224, "a doubled quote does not close the literal"},
};

TEST(take_statement_format, reports_each_fault_of_a_text_with_its_code) {
  for (const fault_case& c : fault_cases) {
    SCOPED_TRACE(c.why);
    const outcome o = write_under_text(c.text, {pi, pi});
    EXPECT_EQ(o.status, STATUS_ERROR);
    EXPECT_EQ(o.iostat, c.code);
    EXPECT_EQ(o.iomsg, io::iostat_message(c.code));
    // Nothing is transferred: the variable is not even blanked.
    EXPECT_EQ(o.record, std::string(record_length, '#'));
    EXPECT_EQ(o.later_status, STATUS_ERROR);
  }
}

TEST(take_statement_format, a_faulty_text_is_reported_before_the_unit_is_looked_at) {
  const std::int32_t bad_unit = -3, flags = SPECIFIER_IOSTAT;
  std::int32_t iostat = 0;
  const std::int32_t line = 1;
  io_source_position(&line, "format_text_test.cpp", 20);
  io_set_format_text("(F5.2", 5);
  EXPECT_EQ(fmt_write_begin(&bad_unit, nullptr, &flags, &iostat, nullptr, nullptr, 0), STATUS_ERROR);
  EXPECT_EQ(iostat, 241);  // not 212, the invalid unit's code
  EXPECT_EQ(fmt_write_end(), STATUS_ERROR);
}

// The fatal path of a text's fault: no IOSTAT=, so the report and the end.
void write_without_iostat() {
  const std::int32_t line = 12, no_flags = 0, one = 1;
  char variable[8];
  io_source_position(&line, "probe.f", 7);
  io_set_format_text("(F5.2,)", 7);
  fmt_internal_write_begin(variable, &one, &no_flags, nullptr, nullptr, 8);
}

TEST(take_statement_format, a_fault_without_iostat_ends_with_the_report) {
  EXPECT_EXIT(write_without_iostat(), testing::ExitedWithCode(127),
              "221/formatted write.*syntax error in format string");
}

// A run of statements, each with its text and the record it must give.
struct step {
  std::string_view text;
  std::string_view record;
};
struct cache_case {
  std::vector<step> steps;
  const char* why;
};

TEST(take_statement_format, compiles_each_text_as_written_whatever_the_cache_holds) {
  const cache_case cases[] = {
      {{{"(F8.3)", "   3.142"}, {"(F8.3)", "   3.142"}}, "the same text again"},
      {{{"(F8.3)", "   3.142"}, {"(F8.2)", "    3.14"}, {"(F8.3)", "   3.142"}},
       "a different text of the same length"},
      {{{"(F8.3)", "   3.142"}, {"(F8.3 )", "   3.142"}, {"(F8.3)", "   3.142"}},
       "a text one blank longer"},
      {{{"(F5", ""}, {"(F5.1)", "  3.1"}, {"(F5", ""}}, "a faulty text between good ones"},
      {{{"(F6.1)", "   3.1"},
        {"(F6.2)", "  3.14"},
        {"(F6.3)", " 3.142"},
        {"(E9.2)", " 0.31E+01"},
        {"(F7.1)", "    3.1"},
        {"(F7.2)", "   3.14"},
        {"(F7.3)", "  3.142"},
        {"(F7.4)", " 3.1416"},
        {"(F8.1)", "     3.1"},
        {"(F8.2)", "    3.14"},
        {"(F6.1)", "   3.1"},  // past the cache's entries: evicted and compiled again
        {"(F6.2)", "  3.14"},
        {"(E9.2)", " 0.31E+01"},
        {"(F8.2)", "    3.14"}},
       "more texts alternating than the cache holds"},
  };
  for (const cache_case& c : cases) {
    SCOPED_TRACE(c.why);
    for (const step& s : c.steps) {
      SCOPED_TRACE(s.text);
      const outcome o = write_under_text(s.text);
      EXPECT_EQ(o.status, s.record.empty() ? STATUS_ERROR : STATUS_OK);
      if (!s.record.empty()) {
        EXPECT_EQ(o.record, s.record);
      }
    }
  }
}

// A program that keeps its format in one variable and rewrites it between statements.
TEST(take_statement_format, a_text_rewritten_in_place_is_a_new_text) {
  char text[] = "(F8.3)";
  EXPECT_EQ(write_under_text(std::string_view{text}).record, "   3.142");
  text[4] = '1';
  EXPECT_EQ(write_under_text(std::string_view{text}).record, "     3.1");
}

struct one_statement_case {
  std::optional<std::string_view> first_text;
  bool first_has_words;  // the first begin passes compiled words, which take precedence
  const char* why;
};
const one_statement_case one_statement_cases[] = {
    {"(F5.1)", false, "a text is taken by its statement"},
    {"(F5.1)", true, "even by one that passes its own words"},
    {std::nullopt, false, "a null format with no text at all"},
};

TEST(take_statement_format, a_text_holds_for_one_statement) {
  static constexpr std::int32_t words[] = {-22, 0, 4, 0, 1, -1, 0};  // (F4.1)
  for (const one_statement_case& c : one_statement_cases) {
    SCOPED_TRACE(c.why);
    const std::int32_t line = 3, one = 1, flags = SPECIFIER_IOSTAT;
    std::int32_t iostat = -7;
    char variable[record_length];
    io_source_position(&line, "format_text_test.cpp", 20);
    if (c.first_text)
      io_set_format_text(c.first_text->data(), static_cast<std::int32_t>(c.first_text->size()));
    fmt_internal_write_begin(variable, &one, &flags, &iostat, c.first_has_words ? words : nullptr,
                             record_length);
    fmt_write_scalar(pi, TYPE_REAL4);
    fmt_write_end();
    // No position in between: only the taking keeps the text from the second statement.
    EXPECT_EQ(write_under_text(std::nullopt, {pi}, false).iostat, 234);
  }
  // A text no statement took does not reach the statement after the next position.
  io_set_format_text("(F5.1)", 6);
  EXPECT_EQ(write_under_text(std::nullopt).iostat, 234);
  // Within its own statement it holds through io_set_iomsg and the begin.
  EXPECT_EQ(write_under_text("(F5.1)").record, "  3.1");
}

TEST(take_statement_format, a_warm_cache_allocates_nothing) {
  const std::string_view texts[] = {"(F8.3)", "(2F6.1)", "('a longer text, past any small buffer', F8.3)",
                                    "(F5"};
  const auto statements = [&] {
    const std::int32_t line = 4, one = 1, flags = SPECIFIER_IOSTAT;
    std::int32_t iostat = 0;
    char variable[64];
    for (const std::string_view text : texts) {
      io_source_position(&line, "format_text_test.cpp", 20);
      io_set_format_text(text.data(), static_cast<std::int32_t>(text.size()));
      fmt_internal_write_begin(variable, &one, &flags, &iostat, nullptr, sizeof variable);
      fmt_write_scalar(pi, TYPE_REAL4);
      fmt_write_scalar(one_and_a_half, TYPE_REAL4);
      fmt_write_end();
    }
  };
  statements();
  const std::size_t before = allocations;
  for (int i = 0; i < 100; ++i) statements();
  EXPECT_EQ(allocations, before);
}

}  // namespace

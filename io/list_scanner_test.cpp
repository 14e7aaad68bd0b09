// Tokens of free-form input, read through the statement entry points: what a token is,
// repeat counts, the comma rule, strings, the plain-number path and the decimal comma.
#include "list_scanner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "list_read.h"
#include "record_io.h"

namespace {

using test::input_file;
using test::iostat_flag;
using test::read_case;
using test::read_internal;

// One statement on a file. A single record is also read as an internal file of one record:
// the two must agree.
constexpr read_case token_cases[] = {
    {"  42  \n", "i", "42"},                  // blanks around a value
    {"\n\n  \n\t\n42\n", "i", "42"},          // empty and blank records are passed over
    {"42", "i", "42"},                        // a last record without a line end
    {"42\r\n43\r\n", "ii", "42 43"},          // CR LF ends a record like LF
    {"", "i", "99 status=2 iostat=-1"},       // end of file before any value
    {"\n\n", "i", "99 status=2 iostat=-1"},   // only empty records, then end of file
    {"3.7\n", "i", "3"},                      // a real truncates toward zero
    {"1e3\n", "i", "1000"},
    {"1.5+3\n", "i", "1500"},                 // exponent without a letter
    {"1e10\n", "i", "-2147483648"},           // beyond 32 bits: the most negative value
    {"2147483648\n", "i", "-2147483648"},     // a 64-bit integer keeps its low 32 bits
    {"4294967297\n", "i", "1"},
    {"99999999999999999999\n", "i", "99 status=1 iostat=231"},  // beyond 64 bits
    {"T .TRUE. Tuesday\n", "iii", "-1 -1 -1"},  // a logical word reads as -1 ...
    {"F .false.\n", "ii", "0 0"},               // ... or 0
    {"T F\n", "rr", "-1 0"},
    {".t,.f/\n", "ll", "-1 0"},               // the word stops at a comma or slash
    {"T;F\n", "ll", "-1 0"},                  // and at a semicolon, a blank in POINT mode
    {"+\n", "i", "99 status=1 iostat=231"},   // a constant without digits is no integer
    {"-\n", "r", "99 status=1 iostat=231"},   // nor a 32-bit real
    {".\n", "i", "99 status=1 iostat=231"},
    {"E5\n", "r", "99 status=1 iostat=231"},
    {"d\n", "i", "99 status=1 iostat=231"},
    {"+ e5 .\n", "ddd", "0 0 0"},             // but it is zero for a 64-bit real
    {"-.\n", "z", "(0,0)"},                   // and for a complex item
    {"abc\n", "i", "99 status=1 iostat=225"},  // a letter that begins no token
    {"*\n", "i", "99 status=1 iostat=225"},
    {")\n", "i", "99 status=1 iostat=225"},
    {"\r3\n", "i", "99 status=1 iostat=225"},  // a lone CR is data, and no token
    {"\x80\n", "i", "99 status=1 iostat=225"},
    {"'12'\n", "i", "99 status=1 iostat=231"},  // a quoted number is text
    {"12abc\n", "i", "99 status=1 iostat=231"},
    {"1.5.3\n", "i", "99 status=1 iostat=231"},
    {"0x1A\n", "i", "99 status=1 iostat=231"},
    {"1 2x 3\n", "iii", "1 99 99 status=1 iostat=231"},  // items stored before an error keep their values
    {"3*7\n", "iii", "7 7 7"},                // repeat count
    {"2* 9\n", "iii", "99 99 9"},             // a count alone stands for nulls
    {"2*\n9\n", "iii", "99 99 9"},            // also at the end of a record
    {"2*,9\n", "iii", "99 99 9"},             // the comma after the count is its separator
    {"2*;9\n", "iii", "99 99 9"},             // so is a semicolon, a blank in POINT mode
    {"2*3*7 8\n", "iii", "7 7 8"},            // the first count holds
    {"0*7\n", "i", "0"},                      // 0 is no count: the value, then ...
    {"0*7\n", "ii", "0 99 status=1 iostat=225"},  // ... the asterisk is refused
    {"+2*7\n", "ii", "2 99 status=1 iostat=225"},  // a signed count is no count
    {"1.0*7\n", "ii", "1 99 status=1 iostat=225"},  // nor a real
    {"5000000000*7\n", "ii", "705032704 99 status=1 iostat=225"},  // nor one of 64 bits
    {"5,,6\n", "iii", "5 99 6"},              // two commas in a row: a null
    {",5\n", "ii", "99 5"},                   // a comma first in a record: a null
    {"5\n,6\n", "iii", "5 99 6"},             // also on a following record
    {"5,\n6\n", "ii", "5 6"},                 // a comma that ends a record is only a separator
    {"5, ,6\n", "iii", "5 99 6"},             // blanks between commas change nothing
    {"5/\n", "ii", "5 99"},                   // a slash ends the statement normally
    {"5/ 6\n", "ii", "5 99"},
    {"/\n", "i", "99"},
    {"5;6\n", "ii", "5 6"},                   // POINT mode: the semicolon is a blank
    {"(3.9, 2)\n", "i", "3"},                 // a complex value stands for its real part
    {"(3.9, 2)\n", "r", "3.9"},
    {"(3.9, 2)\n", "z", "(3.9,2)"},
    {"(1.5,2.5)\n", "x", "(1.5,2.5)"},
    {"( 1 ,\n\n 2 \n )\n", "z", "(1,2)"},     // blanks and ends of records between the parts
    {"(T,F)\n", "z", "(-1,0)"},               // logical parts; the parenthesis ends the F
    {"2*(1,2)\n", "zz", "(1,2) (1,2)"},       // a complex constant repeats as a whole
    {"(1, 2\n", "z", "(99,99) status=1 iostat=225"},  // end of file inside it
    {"(1 2)\n", "z", "(99,99) status=1 iostat=225"},  // no separator
    {"(1,2\n3)\n", "z", "(99,99) status=1 iostat=225"},  // no closing parenthesis
    {"((1,2),3)\n", "z", "(99,99) status=1 iostat=225"},  // no nesting
    {"(2*1,2)\n", "z", "(99,99) status=1 iostat=225"},  // no repeat count inside
    {"('a',2)\n", "z", "(99,99) status=1 iostat=225"},  // no text inside
    {"(1,/)\n", "z", "(99,99) status=1 iostat=225"},
    {"hello\n", "c", "hello   "},             // undelimited text, padded with blanks
    {"abcdefghij\n", "c", "abcdefgh"},        // and cut to the item's length
    {"'it''s' \"a\"\"b\"\n", "cc", "it's     a\"b     "},  // doubled delimiters
    {"'a,b/c'\n", "c", "a,b/c   "},           // separators inside quotes are text
    {"'ab\ncd'\n", "c", "abcd    "},          // a quoted constant runs over a record boundary
    {"'ab\n", "c", "######## status=1 iostat=225"},  // end of file inside quotes
    {"ab\\\ncd\n", "c", "abcd    "},          // a backslash that ends a record joins the next
    {"ab\\cd\n", "c", "ab\\cd   "},           // elsewhere it is text
    {"ab\\\n", "c", "######## status=1 iostat=225"},  // end of file after the backslash
    {"a,b c/d\n", "ccc", "a        b        c       "},  // text ends at a separator or blank
    {"a;b\n", "c", "a;b     "},               // but not at a semicolon
    {"(x) T 5\n", "ccc", "(x)      T        5       "},  // anything else begins text
    {"3*ab\n", "ccc", "ab       ab       ab      "},  // repeated text
    {"2* x\n", "ccc", "######## ######## x       "},
    {"0*x 00*y\n", "cc", "0*x      00*y    "},  // a count below 1 is text
    {"12*\n", "c", "########"},                // a count alone: a null
    {"2*5\n", "ic", "5 ######## status=1 iostat=231"},  // a number for a text item
    {"2*'a'\n", "ci", "a        99 status=1 iostat=231"},  // text for a number
};

TEST(ld_read_item, reads_each_token_into_its_item) {
  for (const auto& c : token_cases) {
    SCOPED_TRACE(testing::Message() << "input [" << c.input << "] items " << c.items);
    input_file file(c.input);
    EXPECT_EQ(file.read(c.items), c.expected);
    const std::string_view input = c.input;
    if (!input.empty() && input.find('\n') == input.size() - 1 &&
        input.find('\r') == std::string_view::npos) {
      const std::string_view record = input.substr(0, input.size() - 1);
      SCOPED_TRACE("internal file");
      EXPECT_EQ(read_internal(c.items, record, 1, static_cast<std::int32_t>(record.size())),
                c.expected);
    }
  }
}

// A number that starts with a digit is converted without the general scanner when what
// follows it is plain; each row checks one edge where the two must not part.
constexpr read_case plain_number_cases[] = {
    {"7\t8\n", "ii", "7 8"},                  // ended by a tab
    {"7/8\n", "ii", "7 99"},                   // by a slash, which still ends the statement
    {"7,,8\n", "iii", "7 99 8"},               // by a comma, which still counts toward a null
    {"7;8\n", "ii", "7 8"},                    // by a semicolon
    {"7*\n", "i", "99"},                       // an asterisk makes it a count, here of nulls
    {"7*5\n", "ii", "5 5"},
    {"7'a'\n", "i", "99 status=1 iostat=231"},  // a quote right after it is no end
    {"7(\n", "i", "99 status=1 iostat=231"},
    {"7)\n", "ii", "7 99 status=1 iostat=225"},  // a parenthesis ends it, then is refused
    {"7\r8\n", "ii", "7 99 status=1 iostat=225"},  // so is a CR inside the record
    {"7x\n", "i", "99 status=1 iostat=231"},
    {"+7 -7 -0\n", "iii", "7 -7 0"},
    {"- 7\n", "i", "99 status=1 iostat=231"},  // a sign alone is no number
    {"999999999 1000000000\n", "ii", "999999999 1000000000"},  // nine and ten digits
    {"2147483647 -2147483647\n", "ii", "2147483647 -2147483647"},  // the 32-bit range
    {"-2147483648 2147483648\n", "ii", "-2147483648 -2147483648"},  // just past it
    {"00000000042 -0000000001\n", "ii", "42 -1"},  // leading zeros past ten digits
    // A 32-bit integer is zero-extended into a 64-bit logical, a 64-bit one is not: the
    // class of the value must be the scanner's on both sides of the range.
    {"-2147483647 -2147483648\n", "LL", "2147483649 -2147483648"},
    {"-0000000001 -00000000001\n", "LL", "4294967295 4294967295"},
    {"12.5 12e1 12D1 12+1 12-1\n", "rrrrr", "12.5 120 120 120 1.2"},  // reals after digits
    {"12. 12.5*\n", "dd", "12 12.5"},         // a real is no count: the asterisk ...
    {"12.5*3\n", "ii", "12 99 status=1 iostat=225"},  // ... is refused as the next token
    {"12.5.3\n", "r", "99 status=1 iostat=231"},
    {"42\n", "c", "42      "},                 // text items are not numbers
    {"(42,1)\n", "z", "(42,1)"},              // nor are the parts of a complex constant
    {"  7  \n  \n", "ii", "7 99 status=2 iostat=-1"},  // blanks after it, then end of file
    // Blanks before it are passed over eight at a time while the record has eight more.
    {"        7\n", "i", "7"},                // exactly eight
    {"       7 8\n", "ii", "7 8"},            // seven: the run ends in the first word
    {"               -7\n", "i", "-7"},        // fifteen, the sign in the second word
    {"          \t 7\n", "i", "7"},            // a tab inside the run
    {"\t        7\n", "i", "7"},               // a tab first
    {"                \n  7\n", "i", "7"},    // a record of sixteen blanks: no value in it
    {"         x\n", "i", "99 status=1 iostat=225"},  // the run ends on no number
    {"        ,7\n", "ii", "99 7"},            // or on a separator
};

TEST(ld_read_item, converts_plain_numbers_as_the_scanner_does) {
  for (const auto& c : plain_number_cases) {
    SCOPED_TRACE(testing::Message() << "input [" << c.input << "] items " << c.items);
    input_file file(c.input);
    EXPECT_EQ(file.read(c.items), c.expected);
  }
}

// A long file read a statement per record: most records are taken in the stream's own
// buffer by the short path, those near the end of each buffer's worth by the general
// one. Each must read as the same record does alone, as an internal file.
TEST(ld_read_item, reads_a_long_file_as_record_by_record) {
  std::mt19937 random{5};
  const auto pick = [&random](std::string_view choices) { return choices[random() % choices.size()]; };
  const auto digits = [&random](std::size_t most) {
    std::string run(1 + random() % most, '0');
    for (char& c : run) c = static_cast<char>('0' + random() % 10);
    return run;
  };
  struct record_case {
    std::string text;  // without its line end
    std::string items;
  };
  std::vector<record_case> records;
  std::string file;
  for (int n = 0; n < 6000; ++n) {
    record_case record;
    const int tokens = 1 + static_cast<int>(random() % 3);
    for (int t = 0; t < tokens; ++t) {
      record.text += std::string(random() % 12, ' ');
      if (random() % 8 == 0) record.text += '\t';
      if (random() % 3 == 0) record.text += pick("+-");
      record.text += digits(random() % 2 == 0 ? 10 : 3);
      const char letter = pick("iirdk");
      if (letter != 'i' && letter != 'k' && random() % 2 == 0) {
        record.text += '.' + digits(8);
        if (random() % 2 == 0) record.text += std::string{pick("EeDd")} + pick("+-") + digits(3);
      }
      record.items += letter;
      if (t + 1 < tokens) record.text += pick(" ,/;");
      if (record.text.back() == '/') break;  // the statement ends there
    }
    record.text += std::string(random() % 4, ' ');
    file += record.text + (random() % 2 == 0 ? "\r\n" : "\n");
    records.push_back(std::move(record));
  }
  input_file input(file);
  for (const record_case& record : records) {
    const std::string alone = read_internal(record.items, record.text, 1, static_cast<std::int32_t>(record.text.size()));
    ASSERT_EQ(input.read(record.items), alone) << "record [" << record.text << "] items " << record.items;
  }
}

// In COMMA mode the comma is the decimal symbol and the semicolon the separator.
constexpr read_case comma_cases[] = {
    {"1,5\n", "d", "1.5"},
    {"1,5;2\n", "dd", "1.5 2"},
    {"5,\n", "d", "5"},
    {",5\n", "d", "0.5"},                     // a leading decimal comma
    {"1.5\n", "d", "99 status=1 iostat=231"},  // the full stop is no decimal symbol
    {"5;;6\n", "iii", "5 99 6"},              // two semicolons: a null
    {";5\n", "ii", "99 5"},
    {"(1,5;2,5)\n", "z", "(1.5,2.5)"},        // complex parts split by a semicolon
    {"(1,5,2)\n", "z", "(99,99) status=1 iostat=225"},
    {"3*,5\n", "ddd", "0.5 0.5 0.5"},         // the comma after a count is a decimal symbol
    {"2*;7\n", "iii", "99 99 7"},
    {",T ,f\n", "ll", "-1 0"},                // the decimal comma also begins .TRUE.
    {"a,b;c\n", "cc", "a        b;c     "},   // text still ends at a comma, not a semicolon
    {"a b\n", "cc", "a        b       "},
    {"x, y\n", "cc", "x        y       "},    // and the comma is then passed as a blank
    {"7,5 7;8\n", "iii", "7 7 8"},            // after digits the comma makes a real
    {"12,5e1\n", "d", "125"},
    {"7,\n", "i", "7"},
    {"7, 8\n", "ii", "7 8"},                  // and the blank after it ends it
};

TEST(ld_read_item, follows_the_decimal_comma_mode) {
  for (const auto& c : comma_cases) {
    SCOPED_TRACE(testing::Message() << "input [" << c.input << "] items " << c.items);
    input_file file(c.input, true);
    EXPECT_EQ(file.read(c.items), c.expected);
  }
}

TEST(scan_quoted_string, grows_the_string_buffer_for_long_constants) {
  for (const std::size_t length : {127u, 128u, 129u, 300u, 5000u}) {
    SCOPED_TRACE(length);
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
    // Over several records: each record boundary adds nothing.
    std::string input = "'";
    for (std::size_t i = 0; i < length; i += 100) input += text.substr(i, 100) + "\n";
    input += "' '" + text + "'\n";
    input_file file(input);
    std::string first(length, '#'), second(length, '#');
    std::int32_t iostat = 0;
    const std::int32_t unit = 20, type = TYPE_CHARACTER, one = 1;
    ASSERT_EQ(ld_read_begin(&unit, nullptr, &iostat_flag, &iostat), 0);
    EXPECT_EQ(ld_read_item(&type, &one, nullptr, first.data(), static_cast<std::int32_t>(length)), 0);
    EXPECT_EQ(ld_read_item(&type, &one, nullptr, second.data(), static_cast<std::int32_t>(length)), 0);
    EXPECT_EQ(ld_read_end(), 0);
    EXPECT_EQ(first, text);
    EXPECT_EQ(second, text);
  }
}

}  // namespace

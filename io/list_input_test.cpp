// Free-form reads through the statement entry points, in process and end to end.
#include "list_input.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "process_runner.h"
#include "record_io.h"
#include "statement.h"
#include "units.h"

namespace {

const std::int32_t iostat_flag = SPECIFIER_IOSTAT;

// One letter per item type; each item starts as 99 (or ########) so that an item the
// read leaves unchanged shows.
struct item_kind {
  char letter;
  std::int32_t type;
};
constexpr item_kind item_kinds[] = {
    {'i', TYPE_INTEGER4}, {'r', TYPE_REAL4},    {'d', TYPE_REAL8},     {'c', TYPE_CHARACTER},
    {'k', TYPE_INTEGER8}, {'h', TYPE_INTEGER2}, {'b', TYPE_INTEGER1},  {'l', TYPE_LOGICAL4},
    {'L', TYPE_LOGICAL8}, {'x', TYPE_COMPLEX8}, {'z', TYPE_COMPLEX16}, {'q', 31},
    {'w', TYPE_WORD4},    {'W', 23},
};

std::int32_t type_of(char letter) {
  for (const auto& kind : item_kinds) {
    if (kind.letter == letter) return kind.type;
  }
  ADD_FAILURE() << "no item type " << letter;
  return 0;
}

template <typename T>
std::string shortest(T value) {
  std::array<char, 48> out{};
  return {out.data(), std::to_chars(out.data(), out.data() + out.size(), value).ptr};
}

struct item {
  char letter;
  std::array<unsigned char, 16> bytes{};

  template <typename T>
  T get(std::size_t offset = 0) const {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
  }
  template <typename T>
  void set(T value, std::size_t offset = 0) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
  }

  explicit item(char l) : letter(l) {
    switch (letter) {
      case 'c': case 'W': bytes.fill('#'); break;
      case 'r': set(99.0f); break;
      case 'd': set(99.0); break;
      case 'x': set(99.0f); set(99.0f, 4); break;
      case 'z': set(99.0); set(99.0, 8); break;
      case 'h': set(std::int16_t{99}); break;
      case 'b': set(std::int8_t{99}); break;
      case 'k': case 'L': case 'q': set(std::int64_t{99}); break;
      default: set(std::int32_t{99}); break;
    }
  }

  std::string show() const {
    switch (letter) {
      case 'c': case 'W': return std::string(reinterpret_cast<const char*>(bytes.data()), 8);
      case 'r': return shortest(get<float>());
      case 'd': return shortest(get<double>());
      case 'x': return "(" + shortest(get<float>()) + "," + shortest(get<float>(4)) + ")";
      case 'z': return "(" + shortest(get<double>()) + "," + shortest(get<double>(8)) + ")";
      case 'h': return std::to_string(get<std::int16_t>());
      case 'b': return std::to_string(get<std::int8_t>());
      case 'k': case 'L': case 'q': return std::to_string(get<std::int64_t>());
      default: return std::to_string(get<std::int32_t>());
    }
  }
};

// One read statement with IOSTAT=: the items as text, then the status and iostat when
// the status is not 0.
template <typename Begin>
std::string perform_read(std::string_view letters, Begin begin) {
  std::vector<item> items;
  for (const char letter : letters) items.emplace_back(letter);
  std::int32_t iostat = 0;
  std::int32_t status = begin(&iostat);
  const std::int32_t one = 1, eight = 8;
  for (auto& it : items) {
    const std::int32_t type = type_of(it.letter);
    const std::int32_t item_status = ld_read_item(&type, &one, nullptr, it.bytes.data(), eight);
    if (status == 0) status = item_status;
  }
  const std::int32_t end_status = ld_read_end();
  if (status == 0) status = end_status;
  std::string out;
  for (const auto& it : items) out += (out.empty() ? "" : " ") + it.show();
  if (status != 0) out += " status=" + std::to_string(status) + " iostat=" + std::to_string(iostat);
  return out;
}

// A file connected by OPEN with FILE= only, read by statements with IOSTAT=.
class input_file {
 public:
  explicit input_file(std::string_view data, bool decimal_comma = false) {
    dir_.write("in.txt", std::string(data));
    const std::string name = (dir_ / "in.txt").string();
    const std::int32_t zero = 0;
    EXPECT_EQ(open_unit(&unit_, &zero, nullptr, nullptr, nullptr, nullptr, name.data(), nullptr,
                        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 0,
                        static_cast<std::int32_t>(name.size()), 0, 0, 0, 0, 0),
              0);
    if (decimal_comma) io::find_unit(unit_)->decimal = io::decimal_code::DECIMAL_COMMA;
  }
  ~input_file() {
    const std::int32_t zero = 0;
    close_unit(&unit_, &zero, nullptr, nullptr, 0);
  }
  input_file(const input_file&) = delete;
  input_file& operator=(const input_file&) = delete;

  std::string read(std::string_view letters) const {
    return perform_read(letters, [this](std::int32_t* iostat) {
      return ld_read_begin(&unit_, nullptr, &iostat_flag, iostat);
    });
  }

 private:
  test::temp_dir dir_;
  const std::int32_t unit_ = 20;
};

std::string read_internal(std::string_view letters, std::string_view variable,
                          std::int32_t record_count, std::int32_t record_length) {
  return perform_read(letters, [&](std::int32_t* iostat) {
    return ld_internal_read_begin(variable.data(), &record_count, &iostat_flag, iostat,
                                  record_length);
  });
}

struct read_case {
  std::string_view input;     // the file's bytes
  std::string_view items;     // one letter per item of one statement
  std::string_view expected;  // what the items hold afterwards, and a status that is not 0
};

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

// Each item type takes the value it is given as its own width or form.
constexpr read_case store_cases[] = {
    {"9223372036854775807\n", "k", "9223372036854775807"},
    {"-9223372036854775808\n", "k", "-9223372036854775808"},
    {"2.5 T\n", "kk", "2 -1"},                // truncated; true sign-extended
    {"70000 -1\n", "hh", "4464 -1"},          // low 16 bits
    {"300 T\n", "bb", "44 -1"},               // low 8 bits
    {"5 T F\n", "lll", "5 -1 0"},
    {"T -1 5000000000 1.5\n", "LLLL", "4294967295 4294967295 5000000000 1"},  // 32 bits zero-extended
    {"16777217\n", "r", "16777216"},          // one rounding to 32 bits
    {"-0 -0.0\n", "rr", "0 -0"},              // the integer zero has no sign
    {"1e39 1e-50\n", "rr", "inf 0"},
    {"7 T\n", "xz", "(7,0) (-1,0)"},          // a number or logical is the real part
    {"5\n", "q", "99 status=1 iostat=237"},   // the unsupported quad type
    {"T\n", "q", "99 status=1 iostat=237"},
    {"'a'\n", "q", "99 status=1 iostat=231"},
    {"5 T\n", "ww", "99 99"},                 // a type without a reading: nothing stored
    {"2*'a'\n", "cw", "a        99 status=1 iostat=231"},  // but text is still refused
    {"abc\n", "W", "########"},               // wide text: nothing stored
};

TEST(store_scanned_value, converts_to_each_item_type) {
  for (const auto& c : store_cases) {
    SCOPED_TRACE(testing::Message() << "input [" << c.input << "] items " << c.items);
    input_file file(c.input);
    EXPECT_EQ(file.read(c.items), c.expected);
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

TEST(ld_internal_read_begin, uses_point_mode_whatever_the_last_unit_had) {
  input_file file("x\n", true);
  EXPECT_EQ(file.read("i"), "99 status=1 iostat=225");  // fails before its end resets the mode
  EXPECT_EQ(read_internal("dd", "1.5,2", 1, 5), "1.5 2");
}

struct statements_case {
  std::string_view input;
  std::vector<std::string_view> statements;  // the items of each statement
  std::vector<std::string_view> expected;
  const char* why;
};

TEST(ld_read_end, consumes_whole_records) {
  const statements_case cases[] = {
      {"1 2 3\n4\n", {"i", "i"}, {"1", "4"}, "the rest of a record is dropped"},
      {"1\n2\n", {"", "i"}, {"", "2"}, "a statement without items consumes a record"},
      {"\n2\n", {"", "i"}, {"", "2"}, "even an empty one"},
      {"1\n", {"", ""}, {"", " status=2 iostat=-1"}, "and meets end of file like any read"},
      {"1 2\n3 4\n5\n", {"iii", "i"}, {"1 2 3", "5"}, "a statement reads on as far as it needs"},
      {"5/ 6\n7\n", {"ii", "i"}, {"5 99", "7"}, "a slash ends a statement, not the next one"},
      {"3*7\n8\n", {"i", "i"}, {"7", "8"}, "a repeat does not outlive its statement"},
      {"ab\\\n\n7\n", {"c", "i"}, {"ab      ", "7"},
       "an empty record joined by a backslash was fetched: the end skips nothing more"},
      {"x\n8\n", {"i", "i"}, {"99 status=1 iostat=225", "8"}, "a failed statement still moves on"},
      {"1\n", {"i", "i", "i"}, {"1", "99 status=2 iostat=-1", "99 status=2 iostat=-1"},
       "after end of file the unit reports it again"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    input_file file(c.input);
    for (std::size_t i = 0; i < c.statements.size(); ++i) {
      EXPECT_EQ(file.read(c.statements[i]), c.expected[i]) << "statement " << i;
    }
  }
}

TEST(ld_internal_read_begin, reads_consecutive_records_of_the_variable) {
  struct internal_case {
    std::string_view variable;
    std::int32_t record_count, record_length;
    std::string_view items, expected;
    const char* why;
  };
  const internal_case cases[] = {
      {"1   2   ", 2, 4, "ii", "1 2", "the second value is on the second record"},
      {"1 2 3   ", 2, 4, "ii", "1 2", "a record is its length, not up to the next line feed"},
      {"'ab  cd'", 2, 4, "c", "ab  cd  ", "quotes run over internal records"},
      {"1   ", 1, 4, "ii", "1 99 status=2 iostat=-1", "end of the variable is end of file"},
      {"1   ", 0, 4, "i", "99 status=2 iostat=-1", "no records at all"},
      {"", 1, 0, "i", "99 status=2 iostat=-1", "records of no characters hold no value"},
      {"", 1, -3, "i", "99 status=2 iostat=-1", "a negative length reads as none"},
      {"", 0, 4, "", " status=2 iostat=-1", "the end skips a record, and there is none"},
      {"1\n2", 1, 3, "ii", "1 2", "a line feed inside a record is a blank, not its end"},
      {"'a\nb'", 1, 5, "c", "a\nb     ", "and text inside quotes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(read_internal(c.items, c.variable, c.record_count, c.record_length), c.expected);
  }
}

TEST(ld_read_begin, reads_direct_access_records) {
  test::temp_dir dir;
  dir.write("direct.dat", std::string("1   2   3\n4 ", 12));
  const std::string name = (dir / "direct.dat").string();
  const std::int32_t unit = 21;
  std::int32_t iostat = 0;
  io::io_statement_begin(unit, iostat_flag, &iostat, io::KIND_OPEN);
  io::connect_request request;
  request.status = io::open_status_code::OPEN_OLD;
  request.access = io::access_code::ACCESS_DIRECT;
  request.recl = 4;
  request.name = name;
  ASSERT_EQ(io::connect_unit(unit, request), 0);
  const auto read_record = [&](std::int32_t record, std::string_view items) {
    return perform_read(items, [&](std::int32_t* status_variable) {
      return ld_read_begin(&unit, &record, &iostat_flag, status_variable);
    });
  };
  EXPECT_EQ(read_record(2, "i"), "2");                        // REC= picks the record
  EXPECT_EQ(read_record(1, "iii"), "1 2 3");                  // a statement reads on into the next records
  EXPECT_EQ(read_record(3, "ii"), "3 4");                     // a line feed inside a record is a blank
  EXPECT_EQ(read_record(3, "iii"), "3 4 99 status=1 iostat=253");  // but not past the last record
  const std::int32_t zero = 0;
  close_unit(&unit, &zero, nullptr, nullptr, 0);
}

TEST(ld_read_item, reads_count_elements_stride_bytes_apart) {
  input_file file("1 2 3 4\n");
  std::array<std::int32_t, 6> values{0, 0, 0, 0, 0, 0};
  std::int32_t iostat = 0;
  const std::int32_t unit = 20, type = TYPE_INTEGER4, three = 3, zero = 0, minus = -1, stride = 8;
  ASSERT_EQ(ld_read_begin(&unit, nullptr, &iostat_flag, &iostat), 0);
  EXPECT_EQ(ld_read_item(&type, &zero, &stride, values.data(), 0), 0);   // transfers nothing
  EXPECT_EQ(ld_read_item(&type, &minus, &stride, values.data(), 0), 0);  // nor does a negative count
  EXPECT_EQ(ld_read_item(&type, &three, &stride, values.data(), 0), 0);
  EXPECT_EQ(ld_read_end(), 0);
  EXPECT_EQ(values, (std::array<std::int32_t, 6>{1, 0, 2, 0, 3, 0}));
}

TEST(ld_read_item, returns_at_once_after_a_failure) {
  input_file file("x 5\n6\n");
  std::int32_t iostat = 0, value = 99;
  const std::int32_t unit = 20, type = TYPE_INTEGER4, one = 1;
  ASSERT_EQ(ld_read_begin(&unit, nullptr, &iostat_flag, &iostat), 0);
  EXPECT_EQ(ld_read_item(&type, &one, nullptr, &value, 0), 1);
  EXPECT_EQ(iostat, 225);
  EXPECT_EQ(ld_read_item(&type, &one, nullptr, &value, 0), 1);  // the 5 is not read
  EXPECT_EQ(ld_read_end(), 1);
  EXPECT_EQ(value, 99);
  EXPECT_EQ(file.read("i"), "6");  // and the end skipped nothing
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

// End to end: a program reading the console (its standard input) or files, with flag 0.
struct program_case {
  std::vector<std::string> operations;
  std::string standard_input;
  std::string standard_output;
  std::string standard_error;  // LF stands for CR LF
  int exit_status;
  const char* why;
};

TEST(ld_read_begin, reads_the_console_and_files_end_to_end) {
  const program_case cases[] = {
      {{"si", "srr", "srr"}, "3\n0 0\n4.5, 1e1\n", "3\n0 0\n4.5 10\n", "", 0,
       "the polygon dialogue: a count, then a pair per statement"},
      {{"si", "si"}, "1\r\n2", "1\n2\n", "", 0, "CR LF, and a last line without a terminator"},
      {{"si", "si"}, "1 2 3\n\n\n4\n", "1\n4\n", "", 0, "rest of a record dropped, blank records passed"},
      {{"l12", "si"}, "", "",
       "TKFIO-F-217/list-directed read/unit=5/attempt to read past end of file.\n"
       " File name = stdin    formatted, sequential access   record = 1\n"
       " In source file reader.f, at line number 12\n",
       127, "end of input at the first read"},
      {{"si", "l13", "srr"}, "4\n1\n", "4\n",
       "TKFIO-F-217/list-directed read/unit=5/attempt to read past end of file.\n"
       " File name = stdin    formatted, sequential access   record = 3\n"
       " In source file reader.f, at line number 13\n",
       127, "end of input in the middle of a statement"},
      {{"l3", "si"}, "abc\n", "",
       "TKFIO-F-225/list-directed read/unit=5/lexical error-- unknown token type.\n"
       " File name = stdin    formatted, sequential access   record = 1\n"
       " In source file reader.f, at line number 3\n",
       127, "a token of no known type"},
      {{"l4", "si"}, "12abc\n", "",
       "TKFIO-F-231/list-directed read/unit=5/error on data conversion.\n"
       " File name = stdin    formatted, sequential access   record = 1\n"
       " In source file reader.f, at line number 4\n",
       127, "a number that does not convert"},
      {{"l9", "nii:5 x"}, "", "",
       "TKFIO-F-225/list-directed read/internal file/lexical error-- unknown token type.\n"
       " In source file reader.f, at line number 9\n",
       127, "an internal file is named as such, with no file line"},
      {{"f1", "si", "si", "si"}, "7\nx\n", "7\n99 status=1 iostat=225\n99 status=2 iostat=-1\n", "", 0,
       "IOSTAT= returns every failure and prints nothing"},
      {{"f4", "si"}, "", "99 status=2 iostat=0\n", "", 0, "END= alone takes end of file"},
      {{"f4", "l2", "si"}, "*\n", "",
       "TKFIO-F-225/list-directed read/unit=5/lexical error-- unknown token type.\n"
       " File name = stdin    formatted, sequential access   record = 1\n"
       " In source file reader.f, at line number 2\n",
       127, "but no other error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    test::temp_dir dir;
    test::run_options options;
    options.arguments = c.operations;
    options.standard_input = c.standard_input;
    options.directory = dir.path();
    options.unset_environment = {"LANG", "TKA_TERM", "FORTRANOPT"};
    const auto result = test::run_program("tp_ldin_reader", options);
    EXPECT_EQ(result.standard_output, c.standard_output);
    EXPECT_EQ(result.standard_error, test::crlf(c.standard_error));
    EXPECT_EQ(result.exit_status, c.exit_status);
  }
}

TEST(ld_read_begin, reads_named_and_default_files_end_to_end) {
  test::temp_dir dir;
  dir.write("Numbers.dat", "12\r\n 7 \r\n");
  dir.write("fort.9", "11 12\n13\n");
  test::run_options options;
  options.directory = dir.path();
  options.unset_environment = {"LANG", "TKA_TERM", "FOR009"};
  options.arguments = {"u9", "sii", "si", "o12:Numbers.dat", "u12", "si", "si", "l30", "si"};
  const auto result = test::run_program("tp_ldin_reader", options);
  EXPECT_EQ(result.standard_output, "11 12\n13\n12\n7\n");
  EXPECT_EQ(result.standard_error,
            test::crlf("TKFIO-F-217/list-directed read/unit=12/attempt to read past end of file.\n"
                       " File name = Numbers.dat    formatted, sequential access   record = 3\n"
                       " In source file reader.f, at line number 30\n"));
  EXPECT_EQ(result.exit_status, 127);
}

}  // namespace

// Format text compiled at build time: the words of every descriptor, the group and
// reversion indices the interpreter follows, and the texts that must not compile.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "format_compiler.h"
#include "record_io.h"

namespace {

using io::format_text_fault;
using namespace std::literals;

// The program's total line, word by word as the interpreter expects it.
constexpr std::int32_t total_words[] = {
    -5,         18,                                 // literal of 18 bytes
    0x20656854, 0x61746f74, 0x7261206c, 0x69206165,  // "The " "tota" "l ar" "ea i"
    0x00002073,                                     // "s " and two zero bytes
    -22,        0, 5, 0, 2,                         // F5.2
    -1,         0};                                 // end, revert to word 0

template <std::size_t N>
constexpr bool equal_words(const std::array<std::int32_t, N>& words,
                           std::span<const std::int32_t> expected) {
  if (N != expected.size()) return false;
  for (std::size_t i = 0; i < N; ++i)
    if (words[i] != expected[i]) return false;
  return true;
}

constexpr auto total_format = io::compile_format<"(\"The total area is \", F5.2)">();
static_assert(total_format.size() == 14);
static_assert(equal_words(total_format, total_words));
static_assert(equal_words(io::compile_format<"('The total area is ', F5.2)">(), total_words));
static_assert(equal_words(io::compile_format<R"(( "The total area is " , f5.2 ))">(),
                          total_words));

template <io::format_text Text>
constexpr bool compiles = requires { io::compile_format<Text>(); };
static_assert(compiles<"(I5)">);
static_assert(!compiles<"(F5)">);
static_assert(!compiles<"(I5">);
static_assert(!compiles<"(K5)">);
static_assert(!compiles<"('abc)">);
static_assert(!compiles<"(128P)">);

struct compile_case {
  std::string_view text;
  std::initializer_list<std::int32_t> words;
};
// Words as the interpreter reads them; pairs are (0, value), or (1, routine index).
constexpr compile_case compile_cases[] = {
    {"()", {-1, 0}},  // an empty format still ends one record
    {"(A, A5)", {-31, -19, 0, 5, -1, 0}},
    {"(L, L2)", {-32, -20, 0, 2, -1, 0}},
    {"(I, I5)", {-33, -21, 0, 5, 0, 1, -1, 0}},  // m is always written; 1 by default
    {"(I5.3, I0, I0.4)", {-21, 0, 5, 0, 3, -21, 0, 0, 0, 1, -21, 0, 0, 0, 4, -1, 0}},  // I0: any m
    {"(F, F5.2, F0.3)", {-34, -22, 0, 5, 0, 2, -22, 0, 0, 0, 3, -1, 0}},  // F0: minimal width
    {"(E, E12.4, E12.4E3)",
     {-35, -24, 0, 12, 0, 4, -24, 0, 12, 0, 4, -23, 0, 3, -1, 0}},  // Ee behind the -23 marker
    {"(EN12.3, ES12.3E2)", {-25, 0, 12, 0, 3, -26, 0, 12, 0, 3, -23, 0, 2, -1, 0}},
    {"(G, G10.3, G10.3E2)", {-36, -27, 0, 10, 0, 3, -27, 0, 10, 0, 3, -23, 0, 2, -1, 0}},
    {"(D, D20.12)", {-37, -28, 0, 20, 0, 12, -1, 0}},
    {"(Z, Z8, Z8.8)", {-39, -30, 0, 8, 0, 1, -30, 0, 8, 0, 8, -1, 0}},  // Zw: m = 1
    {"(O, O11.3)", {-38, -29, 0, 11, 0, 3, -1, 0}},
    {"(B8, B8.8)", {-43, 0, 8, 0, 1, -43, 0, 8, 0, 8, -1, 0}},
    {"(DC, DP, S, SS, SP)", {-45, -46, -10, -12, -11, -1, 0}},  // DP and SP are not D, S then P
    {"(BN, BZ, Q)", {-13, -14, -17, -1, 0}},
    {"(T5, TL2, TR3, 4X)", {-6, 0, 5, -7, 0, 2, -8, 0, 3, -9, 0, 4, -1, 0}},  // 4X is no count
    {"(2P, F5.2, -1P, +3P)", {-4, 0, 2, -22, 0, 5, 0, 2, -4, 0, -1, -4, 0, 3, -1, 0}},
    {"(1PE12.4, 1P2F8.3)",
     {-4, 0, 1, -24, 0, 12, 0, 4, -4, 0, 1, 0, 2, -22, 0, 8, 0, 3, -1, 0}},  // no comma after P
    {"(I1/I2, 2/, :$)",
     {-21, 0, 1, 0, 1, -15, -21, 0, 2, 0, 1, 0, 2, -15, -16, -18, -1, 0}},  // commas optional
    {"('ab''c')", {-5, 4, 0x63276261, -1, 0}},  // a doubled apostrophe is one byte
    {R"(("say ""hi"""))", {-5, 8, 0x20796173, 0x22696822, -1, 0}},
    {"('', 'abcd')", {-5, 0, -5, 4, 0x64636261, -1, 0}},  // empty, and exactly one word
    {"('\xC3\xA9')", {-5, 2, 0x0000A9C3, -1, 0}},       // bytes above 127 stay unsigned
    {"(4Ha b , I1)", {-40, 4, 0x20622061, -21, 0, 1, 0, 1, -1, 0}},  // blanks count in nH
    {"(3I2)", {0, 3, -21, 0, 2, 0, 1, -1, 0}},
    {"(I1, 2(I2))", {-21, 0, 1, 0, 1, 0, 2, -2, -21, 0, 2, 0, 1, -3, 8, -1, 5}},  // count kept
    {"(I1, (I2))", {-21, 0, 1, 0, 1, -2, -21, 0, 2, 0, 1, -3, 6, -1, 5}},
    {"((I1), 2(I2))",
     {-2, -21, 0, 1, 0, 1, -3, 1, 0, 2, -2, -21, 0, 2, 0, 1, -3, 11, -1, 8}},  // the last group
    {"(2(I1, 3(I2)))",
     {0, 2, -2, -21, 0, 1, 0, 1, 0, 3, -2, -21, 0, 2, 0, 1, -3, 11, -3, 3, -1, 0}},  // outermost
    {"(<1>I<2>.<3>, <4>(<5>X))",
     {1, 1, -21, 1, 2, 1, 3, 1, 4, -2, -9, 1, 5, -3, 10, -1, 7}},  // routine operands
    {"( f 5 . 2 , 2 ( i 3 ) )",
     {-22, 0, 5, 0, 2, 0, 2, -2, -21, 0, 3, 0, 1, -3, 8, -1, 5}},  // blanks, lower case
};

constexpr bool compiles_to(const compile_case& c) {
  std::array<std::int32_t, 32> words{};
  const io::format_compile_result result = io::try_compile_format(c.text, words);
  return result.fault == format_text_fault::FAULT_NONE && result.word_count == c.words.size() &&
         c.words.size() <= words.size() &&
         std::equal(c.words.begin(), c.words.end(), words.begin());
}

constexpr bool all_compile_as_listed() {
  for (const compile_case& c : compile_cases)
    if (!compiles_to(c)) return false;
  return true;
}
static_assert(all_compile_as_listed());

TEST(compile_format, lays_out_every_descriptor) {
  for (const compile_case& c : compile_cases) {
    SCOPED_TRACE(c.text);
    std::vector<std::int32_t> words(64);
    const io::format_compile_result result = io::try_compile_format(c.text, words);
    ASSERT_EQ(result.fault, format_text_fault::FAULT_NONE) << "at offset " << result.offset;
    words.resize(result.word_count);
    EXPECT_EQ(words, std::vector<std::int32_t>(c.words));
  }
}

TEST(compile_format, counts_all_words_when_the_buffer_is_short) {
  std::array<std::int32_t, 3> words{7, 7, 7};
  const io::format_compile_result result = io::try_compile_format("(I5, A)", words);
  EXPECT_EQ(result.word_count, 8u);
  EXPECT_EQ(words, (std::array<std::int32_t, 3>{-21, 0, 5}));
}

struct malformed_case {
  std::string_view text;
  format_text_fault fault;
  std::size_t offset;
};
constexpr malformed_case malformed_cases[] = {
    {"", format_text_fault::FAULT_NO_OPENING_PARENTHESIS, 0},
    {"I5", format_text_fault::FAULT_NO_OPENING_PARENTHESIS, 0},
    {"(I5", format_text_fault::FAULT_UNEXPECTED_END, 3},
    {"((I5)", format_text_fault::FAULT_UNEXPECTED_END, 5},
    {"(I5))", format_text_fault::FAULT_UNBALANCED_PARENTHESES, 4},  // closes nothing
    {"(3", format_text_fault::FAULT_UNEXPECTED_END, 2},
    {"(I5) x", format_text_fault::FAULT_TEXT_AFTER_END, 5},
    {"(K5)", format_text_fault::FAULT_UNKNOWN_DESCRIPTOR, 1},
    {"(I5, W)", format_text_fault::FAULT_UNKNOWN_DESCRIPTOR, 5},
    {"(E N10.2)", format_text_fault::FAULT_UNKNOWN_DESCRIPTOR, 3},  // no blank inside a name
    {"(EN)", format_text_fault::FAULT_MALFORMED_REAL, 3},      // EN, ES and B have no bare form
    {"(B)", format_text_fault::FAULT_MISSING_VALUE, 2},
    {"(F.2)", format_text_fault::FAULT_MALFORMED_REAL, 2},     // not F followed by junk
    {"(X)", format_text_fault::FAULT_MISSING_VALUE, 1},
    {"(T)", format_text_fault::FAULT_MISSING_VALUE, 2},
    {"(P)", format_text_fault::FAULT_MISSING_VALUE, 1},
    {"(F5)", format_text_fault::FAULT_MALFORMED_REAL, 3},
    {"(F5.)", format_text_fault::FAULT_NUMBER_MISSING, 4},
    {"(E10, D8.2)", format_text_fault::FAULT_MALFORMED_REAL, 4},
    {"(G10)", format_text_fault::FAULT_MALFORMED_REAL, 4},
    {"(I5.)", format_text_fault::FAULT_NUMBER_MISSING, 4},
    {"(E10.3E)", format_text_fault::FAULT_MALFORMED_REAL, 7},
    {"(I2147483648)", format_text_fault::FAULT_BAD_NUMBER, 2},  // past 32 bits
    {"(<>I5)", format_text_fault::FAULT_BAD_NUMBER, 1},
    {"(<1 I5)", format_text_fault::FAULT_BAD_NUMBER, 1},
    {"(-I5)", format_text_fault::FAULT_NUMBER_MISSING, 2},
    {"(-2X)", format_text_fault::FAULT_BAD_NUMBER, 1},          // a sign only before P
    {"(<1>Habc)", format_text_fault::FAULT_MALFORMED_LITERAL, 1},  // nH needs a fixed n
    {"(0I5)", format_text_fault::FAULT_VALUE_OUT_OF_RANGE, 1},  // run time: error 254
    {"(0(I5))", format_text_fault::FAULT_VALUE_OUT_OF_RANGE, 1},
    {"(A0)", format_text_fault::FAULT_VALUE_OUT_OF_RANGE, 2},
    {"(E0.3)", format_text_fault::FAULT_MALFORMED_REAL, 2},
    {"(Z0)", format_text_fault::FAULT_VALUE_OUT_OF_RANGE, 2},   // would print nothing
    {"(I3.4)", format_text_fault::FAULT_VALUE_OUT_OF_RANGE, 4},
    {"(Z4.5)", format_text_fault::FAULT_VALUE_OUT_OF_RANGE, 4},
    {"(E10.3E0)", format_text_fault::FAULT_MALFORMED_REAL, 7},
    {"(T0)", format_text_fault::FAULT_VALUE_OUT_OF_RANGE, 2},   // run time: error 238
    {"(0X)", format_text_fault::FAULT_VALUE_OUT_OF_RANGE, 1},
    {"(128P)", format_text_fault::FAULT_SCALE_OUT_OF_RANGE, 1}, // run time: error 230
    {"(-129P)", format_text_fault::FAULT_SCALE_OUT_OF_RANGE, 1},
    {"(0Ha)", format_text_fault::FAULT_MALFORMED_LITERAL, 1},
    {"('abc)", format_text_fault::FAULT_MALFORMED_LITERAL, 1},
    {R"(("abc'))", format_text_fault::FAULT_MALFORMED_LITERAL, 1},
    {"('it''s)", format_text_fault::FAULT_MALFORMED_LITERAL, 1},  // '' does not close
    {"(5Habc)", format_text_fault::FAULT_MALFORMED_LITERAL, 1},
    {"(I5 F5.2)", format_text_fault::FAULT_MISSING_COMMA, 4},
    {"('x'I5)", format_text_fault::FAULT_MISSING_COMMA, 4},
    {"(1PI5)", format_text_fault::FAULT_MISSING_COMMA, 3},  // only F, E, EN, ES, D, G after P
    {"(I5 2/)", format_text_fault::FAULT_MISSING_COMMA, 4}, // a counted slash needs one
    {"(2(I5)I6)", format_text_fault::FAULT_MISSING_COMMA, 6},
    {"(,I5)", format_text_fault::FAULT_MISSING_DESCRIPTOR, 1},
    {"(I5,,I6)", format_text_fault::FAULT_MISSING_DESCRIPTOR, 4},
    {"(I5,)", format_text_fault::FAULT_MISSING_DESCRIPTOR, 4},
    {"(())", format_text_fault::FAULT_MISSING_DESCRIPTOR, 2},
    {"(3,I5)", format_text_fault::FAULT_MISSING_DESCRIPTOR, 2},
    {"(2'ab')", format_text_fault::FAULT_REPEAT_NOT_ALLOWED, 1},
    {"(2T5)", format_text_fault::FAULT_REPEAT_NOT_ALLOWED, 1},
    {"(2SP, 2DC)", format_text_fault::FAULT_REPEAT_NOT_ALLOWED, 1},
    {"(2:)", format_text_fault::FAULT_REPEAT_NOT_ALLOWED, 1},
    {"(2$)", format_text_fault::FAULT_REPEAT_NOT_ALLOWED, 1},
    {"(3Q)", format_text_fault::FAULT_REPEAT_NOT_ALLOWED, 1},
    {"(I5) )", format_text_fault::FAULT_UNBALANCED_PARENTHESES, 5},  // blanks do not hide it
    {"(I5) x)", format_text_fault::FAULT_TEXT_AFTER_END, 5},         // the first fault met
    {"(I5 F5)", format_text_fault::FAULT_MISSING_COMMA, 4},   // before the F5 that lacks ".d"
    {"(I5 K5)", format_text_fault::FAULT_UNKNOWN_DESCRIPTOR, 4},  // begins no item at all
    {"(I5, &)", format_text_fault::FAULT_ILLEGAL_CHARACTER, 5},
    {"(3*I5)", format_text_fault::FAULT_ILLEGAL_CHARACTER, 2},
    {"(I5,\0)"sv, format_text_fault::FAULT_ILLEGAL_CHARACTER, 4},  // a zero byte is no end
    {"(I5, .5)", format_text_fault::FAULT_MISPLACED_CHARACTER, 5},
    {"(A.5)", format_text_fault::FAULT_MISSING_WIDTH, 2},
    {"(I5.x)", format_text_fault::FAULT_NUMBER_MISSING, 4},
    {"(+)", format_text_fault::FAULT_NUMBER_MISSING, 2},
    {"(TL)", format_text_fault::FAULT_MISSING_VALUE, 3},
    {"(H)", format_text_fault::FAULT_MALFORMED_LITERAL, 1},
    {"(99999999999P)", format_text_fault::FAULT_SCALE_OUT_OF_RANGE, 1},  // k past 32 bits
    {"(EN0.2)", format_text_fault::FAULT_MALFORMED_REAL, 3},
};

constexpr bool all_rejected_as_listed() {
  for (const malformed_case& c : malformed_cases) {
    const io::format_compile_result result = io::try_compile_format(c.text);
    if (result.fault != c.fault || result.offset != c.offset || result.word_count != 0)
      return false;
  }
  return true;
}
static_assert(all_rejected_as_listed());

TEST(compile_format, rejects_malformed_text) {
  for (const malformed_case& c : malformed_cases) {
    SCOPED_TRACE(c.text);
    const io::format_compile_result result = io::try_compile_format(c.text);
    EXPECT_EQ(result.fault, c.fault);
    EXPECT_EQ(result.offset, c.offset);
  }
}

// `levels` groups, each "2(" when counted, around `inner`; built in a fixed buffer so the
// check runs at compile time.
struct nested_text {
  std::array<char, 256> characters{};
  std::size_t length = 0;
  constexpr void append(std::string_view part) {
    for (const char c : part) characters[length++] = c;
  }
};
constexpr nested_text nested(int levels, bool counted, std::string_view inner) {
  nested_text text;
  text.append("(");
  for (int i = 0; i < levels; ++i) text.append(counted ? "2(" : "(");
  text.append(inner);
  for (int i = 0; i < levels; ++i) text.append(")");
  text.append(")");
  return text;
}
constexpr format_text_fault nested_fault(int levels, bool counted, std::string_view inner) {
  const nested_text text = nested(levels, counted, inner);
  return io::try_compile_format({text.characters.data(), text.length}).fault;
}

struct nesting_case {
  int levels;
  bool counted;
  std::string_view inner;
  format_text_fault fault;
};
// The interpreter's repeat stack holds 20 entries: counted groups and a counted descriptor.
constexpr nesting_case nesting_cases[] = {
    {20, true, "I5", format_text_fault::FAULT_NONE},
    {21, true, "I5", format_text_fault::FAULT_NESTING_TOO_DEEP},
    {19, true, "2I5", format_text_fault::FAULT_NONE},
    {20, true, "2I5", format_text_fault::FAULT_NESTING_TOO_DEEP},
    {20, true, "1I5", format_text_fault::FAULT_NONE},      // a count of 1 takes no entry
    {20, true, "<1>I5", format_text_fault::FAULT_NESTING_TOO_DEEP},  // may be above 1
    {21, false, "2I5", format_text_fault::FAULT_NONE},      // uncounted groups take none
    {64, false, "I5", format_text_fault::FAULT_NONE},
    {65, false, "I5", format_text_fault::FAULT_NESTING_TOO_DEEP},  // the compiler's own bound
};

constexpr bool all_nestings_as_listed() {
  for (const nesting_case& c : nesting_cases)
    if (nested_fault(c.levels, c.counted, c.inner) != c.fault) return false;
  return true;
}
static_assert(all_nestings_as_listed());
static_assert(compiles<"(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(I5)))))))))))))))))))))">);
static_assert(!compiles<"(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2(2I5)))))))))))))))))))))">);

// The data descriptors handed out for `items` items, following the interpreter's fetch:
// counts push {count - 1, code, index} entries, a group end loops while its entry is on
// top, the format end ("|") jumps to the reversion word. "246" when an item meets the end
// twice.
std::string descriptor_sequence(std::span<const std::int32_t> words, int items) {
  struct entry {
    std::int32_t remaining, code;
    std::size_t index;
  };
  std::vector<entry> stack;
  bool pending = false;
  std::size_t index = 0;
  const auto operand = [&] {
    index += 2;
    return words[index - 1];
  };
  const auto next_code = [&] {
    if (pending) {
      entry& top = stack.back();
      index = top.index;
      const std::int32_t code = top.code;
      if (top.remaining-- <= 1) {
        stack.pop_back();
        pending = false;
      }
      return code;
    }
    const std::int32_t repeat = words[index] >= 0 ? operand() : 1;
    const std::int32_t code = words[index++];
    if (repeat > 1) {
      stack.push_back({repeat - 1, code, index});
      pending = code != FORMAT_GROUP;
    }
    return code;
  };
  std::string sequence;
  int ends_met = 0;
  while (items > 0) {
    const std::int32_t code = next_code();
    if (code == FORMAT_END) {
      sequence += "| ";
      index = static_cast<std::size_t>(words[index]);
      if (++ends_met == 2) return sequence + "246";
    } else if (code == FORMAT_GROUP_END) {
      const auto first = static_cast<std::size_t>(words[index++]);
      if (!stack.empty() && stack.back().index == first) {
        index = first;
        if (stack.back().remaining-- <= 1) stack.pop_back();
      }
    } else if (code == FORMAT_LITERAL) {
      index += 1 + static_cast<std::size_t>(words[index] + 3) / 4;
    } else if (code == FORMAT_SLASH) {
      sequence += "/ ";
    } else if (code == FORMAT_I_W || code == FORMAT_F_W) {
      sequence += (code == FORMAT_I_W ? "I" : "F") + std::to_string(operand()) + " ";
      operand();
      --items;
      ends_met = 0;
    } else if (code != FORMAT_GROUP) {
      ADD_FAILURE() << "code " << code << " is not used by these rows";
      return sequence;
    }
  }
  return sequence;
}

struct sequence_case {
  std::string_view text;
  int items;
  std::string_view sequence;
};
constexpr sequence_case sequence_cases[] = {
    {"(F5.2)", 2, "F5 | F5 "},
    {"(2I4)", 5, "I4 I4 | I4 I4 | I4 "},
    {"(I1, 2(I2, I3))", 7, "I1 I2 I3 I2 I3 | I2 I3 "},  // reversion repeats the count
    {"(I1, (I2), I3)", 5, "I1 I2 I3 | I2 I3 "},         // an uncounted group
    {"((I1), (I2))", 4, "I1 I2 | I2 | I2 "},            // the group that closes last
    {"(I1, 2(I2, (I3)))", 8, "I1 I2 I3 I2 I3 | I2 I3 I2 "},  // outermost, not innermost
    {"(3(I1, 2I2))", 10, "I1 I2 I2 I1 I2 I2 I1 I2 I2 | I1 "},
    {"(I1, 2(2(I2), I3))", 9, "I1 I2 I2 I3 I2 I2 I3 | I2 I2 "},  // inner ends do not match
    {"(I1/I2)", 3, "I1 / I2 | I1 "},
    {"('x')", 1, "| | 246"},  // no data descriptor: the interpreter's error
};

TEST(compile_format, group_ends_and_reversion_drive_the_interpreter) {
  for (const sequence_case& c : sequence_cases) {
    SCOPED_TRACE(c.text);
    std::vector<std::int32_t> words(64);
    const io::format_compile_result result = io::try_compile_format(c.text, words);
    ASSERT_EQ(result.fault, format_text_fault::FAULT_NONE);
    words.resize(result.word_count);
    EXPECT_EQ(descriptor_sequence(words, c.items), c.sequence);
  }
}

}  // namespace

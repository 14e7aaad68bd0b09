// The format compiler's vocabulary: why a text did not compile (format_text_fault and
// format_compile_result), its limits, and the descriptor names it knows. C++ only.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

#include "record_io.h"

namespace io {

/* Why a format text did not compile; the offset in format_compile_result says where. Each
   fault is one situation a report can name exactly; where a text holds several, the first
   met reading left to right is the one given. */
enum class format_text_fault : std::int32_t {
  FAULT_NONE = 0,
  FAULT_NO_OPENING_PARENTHESIS = 1, /* the text does not begin with "(" */
  FAULT_UNBALANCED_PARENTHESES = 2, /* a ")" that closes nothing */
  FAULT_TEXT_AFTER_END = 3,         /* something but blanks follows the final ")" */
  FAULT_UNKNOWN_DESCRIPTOR = 4,     /* a letter that begins no descriptor */
  FAULT_MISSING_VALUE = 5,          /* P, X without their number, T, TL, TR, B without it */
  FAULT_MALFORMED_REAL = 6,         /* E, EN, ES, F, D, G: no width, no ".d", no e after E,
                                       a width or e of 0 */
  FAULT_BAD_NUMBER = 7,             /* past 2147483647, a bad "<i>", a signed number not kP */
  FAULT_VALUE_OUT_OF_RANGE = 8,     /* repeat or n of 0, width 0, m > w */
  FAULT_MALFORMED_LITERAL = 9,      /* no closing quote, nH past the text, H without a fixed
                                       n of at least 1 */
  FAULT_MISSING_COMMA = 10,
  FAULT_MISSING_DESCRIPTOR = 11,    /* "(,", ",,", ",)", "()" inside, a count before nothing */
  FAULT_REPEAT_NOT_ALLOWED = 12,    /* a count before a literal or a control edit */
  FAULT_NESTING_TOO_DEEP = 13,      /* more than 20 live repeats, or 64 open groups */
  FAULT_TOO_LONG = 14,              /* more words than a 32-bit index reaches */
  FAULT_UNEXPECTED_END = 15,        /* the text ends before its parentheses close */
  FAULT_ILLEGAL_CHARACTER = 16,     /* a character no format uses, outside a literal */
  FAULT_NUMBER_MISSING = 17,        /* no digits after "." of a data descriptor, "-" or "+" */
  FAULT_SCALE_OUT_OF_RANGE = 18,    /* kP with k outside -128..127 */
  FAULT_MISPLACED_CHARACTER = 19,   /* a character of the format's own where no item begins */
  FAULT_MISSING_WIDTH = 20          /* ".m" where the width of I, A, L, Z or O stands */
};
inline constexpr std::size_t format_text_fault_count = 21;

struct format_compile_result {
  format_text_fault fault;
  std::size_t offset;     /* where in the text the fault was seen */
  std::size_t word_count; /* words of the compiled format; 0 after a fault */
};

namespace format_compiler_detail {

/* The interpreter's repeat stack holds 20 entries: each open group with a count above 1,
   plus one for a counted descriptor being handed out again. */
inline constexpr int max_repeat_entries = 20;
/* Groups without a count take no stack entry; this only bounds the compiler's own table. */
inline constexpr std::size_t max_open_groups = 64;
inline constexpr std::int32_t largest_operand = std::numeric_limits<std::int32_t>::max();

enum class operand_shape : std::int32_t {
  SHAPE_NONE = 0,             /* control edit without operands */
  SHAPE_COUNT = 1,            /* Tn, TLn, TRn */
  SHAPE_WIDTH = 2,            /* Aw, Lw */
  SHAPE_WIDTH_DIGITS = 3,     /* Iw[.m], Zw[.m], Ow[.m], Bw[.m] */
  SHAPE_WIDTH_DECIMALS = 4,   /* Fw.d, Dw.d */
  SHAPE_WIDTH_DECIMALS_EXPONENT = 5 /* Ew.d[Ee], ENw.d[Ee], ESw.d[Ee], Gw.d[Ee] */
};

struct descriptor_name {
  std::string_view name;
  std::int32_t code;          /* with operands; the only code for a control edit */
  std::int32_t bare_code;     /* data descriptor written without a width; 0: width needed */
  operand_shape shape;
  std::int32_t min_width;
  bool is_data;               /* takes an item, and so a repeat count */
  bool follows_scale;         /* may follow kP without a comma */
};

/* Two-letter names come first so that the longest name wins ("EN" before "E"). */
inline constexpr descriptor_name descriptor_names[] = {
    {"TL", FORMAT_TL, 0, operand_shape::SHAPE_COUNT, 1, false, false},
    {"TR", FORMAT_TR, 0, operand_shape::SHAPE_COUNT, 1, false, false},
    {"SS", FORMAT_SS, 0, operand_shape::SHAPE_NONE, 0, false, false},
    {"SP", FORMAT_SP, 0, operand_shape::SHAPE_NONE, 0, false, false},
    {"DC", FORMAT_DC, 0, operand_shape::SHAPE_NONE, 0, false, false},
    {"DP", FORMAT_DP, 0, operand_shape::SHAPE_NONE, 0, false, false},
    {"BN", FORMAT_NOP1, 0, operand_shape::SHAPE_NONE, 0, false, false},
    {"BZ", FORMAT_NOP2, 0, operand_shape::SHAPE_NONE, 0, false, false},
    {"EN", FORMAT_EN_W, 0, operand_shape::SHAPE_WIDTH_DECIMALS_EXPONENT, 1, true, true},
    {"ES", FORMAT_ES_W, 0, operand_shape::SHAPE_WIDTH_DECIMALS_EXPONENT, 1, true, true},
    {"T", FORMAT_T, 0, operand_shape::SHAPE_COUNT, 1, false, false},
    {"S", FORMAT_S, 0, operand_shape::SHAPE_NONE, 0, false, false},
    {"Q", FORMAT_SKIP_ITEM, 0, operand_shape::SHAPE_NONE, 0, false, false},
    {"A", FORMAT_A_W, FORMAT_A, operand_shape::SHAPE_WIDTH, 1, true, false},
    {"L", FORMAT_L_W, FORMAT_L, operand_shape::SHAPE_WIDTH, 1, true, false},
    {"I", FORMAT_I_W, FORMAT_I, operand_shape::SHAPE_WIDTH_DIGITS, 0, true, false},
    {"F", FORMAT_F_W, FORMAT_F, operand_shape::SHAPE_WIDTH_DECIMALS, 0, true, true},
    {"D", FORMAT_D_W, FORMAT_D, operand_shape::SHAPE_WIDTH_DECIMALS, 1, true, true},
    {"E", FORMAT_E_W, FORMAT_E, operand_shape::SHAPE_WIDTH_DECIMALS_EXPONENT, 1, true, true},
    {"G", FORMAT_G_W, FORMAT_G, operand_shape::SHAPE_WIDTH_DECIMALS_EXPONENT, 1, true, true},
    {"Z", FORMAT_Z_W, FORMAT_Z, operand_shape::SHAPE_WIDTH_DIGITS, 1, true, false},
    {"O", FORMAT_O_W, FORMAT_O, operand_shape::SHAPE_WIDTH_DIGITS, 1, true, false},
    {"B", FORMAT_B_W, 0, operand_shape::SHAPE_WIDTH_DIGITS, 1, true, false},
};
/* A name that begins a later one would hide it ("E" before "EN"). */
constexpr bool longest_names_first() {
  for (std::size_t i = 0; i < std::size(descriptor_names); ++i)
    for (std::size_t j = i + 1; j < std::size(descriptor_names); ++j)
      if (descriptor_names[j].name.starts_with(descriptor_names[i].name)) return false;
  return true;
}
static_assert(longest_names_first());

constexpr char upper_case(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

/* One operand pair as written: flag 0 with the value, or flag 1 with a routine index. */
struct operand {
  std::int32_t flag;
  std::int32_t value;
  constexpr bool is_constant() const { return flag == 0; }
};

}  // namespace format_compiler_detail
}  // namespace io

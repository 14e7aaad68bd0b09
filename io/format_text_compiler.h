// The format compiler itself: one pass over a format text that writes the words of a
// compiled format, or stops at the first fault. A constexpr class, so that it runs while a
// program is compiled as well as at run time. C++ only.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>

#include "characters.h"
#include "format_syntax.h"
#include "record_io.h"

namespace io {
namespace format_compiler_detail {

class format_text_compiler {
 public:
  constexpr format_text_compiler(std::string_view text, std::span<std::int32_t> words)
      : text_{text}, words_{words} {}

  constexpr format_compile_result run() {
    const bool compiled = compile();
    return {fault_, compiled ? 0 : fault_offset_, compiled ? word_count_ : 0};
  }

 private:
  /* What stands before the next item; it decides whether a comma is needed. */
  enum class preceding : std::int32_t {
    PRECEDING_LIST_START = 0,
    PRECEDING_COMMA = 1,
    PRECEDING_ITEM = 2,
    PRECEDING_SCALE = 3,
    PRECEDING_BREAK = 4 /* "/", ":" or "$" */
  };
  enum class item_kind : std::int32_t {
    ITEM_PLAIN = 0,
    ITEM_GROUP = 1,
    ITEM_SCALE = 2,
    ITEM_BREAK = 3,
    ITEM_FOLLOWS_SCALE = 4 /* F, E, EN, ES, D, G */
  };
  struct item {
    item_kind kind;
    bool counted;
  };
  struct open_group {
    std::size_t first_word; /* the word after -2, which the group end names */
    std::size_t start_word; /* its count pair, or -2: where reversion resumes */
    bool takes_entry;       /* its count may be above 1, so it occupies the repeat stack */
  };

  std::string_view text_;
  std::span<std::int32_t> words_;
  std::size_t position_ = 0;
  std::size_t word_count_ = 0;
  std::array<open_group, max_open_groups> groups_{};
  std::size_t open_groups_ = 0;
  int repeat_entries_ = 0;
  std::size_t reversion_word_ = 0;
  format_text_fault fault_ = format_text_fault::FAULT_NONE;
  std::size_t fault_offset_ = 0;

  constexpr bool fail(format_text_fault fault, std::size_t offset) {
    fault_ = fault;
    fault_offset_ = offset;
    return false;
  }
  constexpr bool at_end() const { return position_ >= text_.size(); }
  constexpr char current() const { return at_end() ? '\0' : text_[position_]; }
  constexpr void skip_blanks() {
    while (!at_end() && (text_[position_] == ' ' || text_[position_] == '\t')) ++position_;
  }
  constexpr bool at_operand() {
    skip_blanks();
    return is_digit(current()) || current() == '<';
  }

  /* Counts every word and stores those that fit, so one walk both sizes and fills. */
  constexpr void emit(std::int32_t word) {
    if (word_count_ < words_.size()) words_[word_count_] = word;
    ++word_count_;
  }
  constexpr void emit_index(std::size_t word) { emit(static_cast<std::int32_t>(word)); }
  constexpr void emit_operand(operand value) {
    emit(value.flag);
    emit(value.value);
  }

  /* Digits without blanks inside, as a 32-bit value. Too many digits for a kP is still
     a scale factor out of range, the fault the k has whatever its size. */
  constexpr bool parse_digits(std::int32_t& value,
                              format_text_fault missing = format_text_fault::FAULT_BAD_NUMBER) {
    const std::size_t start = position_;
    std::int64_t total = 0;
    if (!is_digit(current())) return fail(missing, start);
    while (is_digit(current())) {
      total = total * 10 + (current() - '0');
      if (total > largest_operand) {
        while (is_digit(current())) ++position_;
        skip_blanks();
        return fail(upper_case(current()) == 'P' ? format_text_fault::FAULT_SCALE_OUT_OF_RANGE
                                                 : format_text_fault::FAULT_BAD_NUMBER,
                    start);
      }
      ++position_;
    }
    value = static_cast<std::int32_t>(total);
    return true;
  }

  /* Requires at_operand(): digits, or "<i>" for the routine registered as index i. */
  constexpr bool parse_operand(operand& value) {
    if (current() != '<') {
      value.flag = 0;
      return parse_digits(value.value);
    }
    const std::size_t start = position_;
    ++position_;
    skip_blanks();
    value.flag = 1;
    if (!parse_digits(value.value)) return fail(format_text_fault::FAULT_BAD_NUMBER, start);
    skip_blanks();
    if (current() != '>') return fail(format_text_fault::FAULT_BAD_NUMBER, start);
    ++position_;
    return true;
  }

  /* A constant must lie in [low, high]; a routine's value is checked at run time. */
  constexpr bool check_range(
      operand value, std::int32_t low, std::int32_t high, std::size_t offset,
      format_text_fault fault = format_text_fault::FAULT_VALUE_OUT_OF_RANGE) {
    if (value.is_constant() && (value.value < low || value.value > high))
      return fail(fault, offset);
    return true;
  }

  /* An operand after "." or "E": its absence is the given fault. */
  constexpr bool parse_required(operand& value, format_text_fault missing) {
    if (!at_operand()) return fail(missing, position_);
    return parse_operand(value);
  }

  /* Characters a format is written with, outside its literals; any other is illegal. */
  static constexpr bool is_letter(char c) { return upper_case(c) >= 'A' && upper_case(c) <= 'Z'; }
  static constexpr bool is_format_character(char c) {
    return is_letter(c) || is_digit(c) || std::string_view{" \t(),.'\"/:$+-<>"}.find(c) !=
                                                 std::string_view::npos;
  }

  constexpr bool compile() {
    skip_blanks();
    if (current() != '(') return fail(format_text_fault::FAULT_NO_OPENING_PARENTHESIS, position_);
    ++position_;
    preceding before = preceding::PRECEDING_LIST_START;
    for (;;) {
      skip_blanks();
      if (at_end()) return fail(format_text_fault::FAULT_UNEXPECTED_END, position_);
      const std::size_t start = position_;
      if (current() == ',') {
        if (before == preceding::PRECEDING_LIST_START || before == preceding::PRECEDING_COMMA)
          return fail(format_text_fault::FAULT_MISSING_DESCRIPTOR, start);
        ++position_;
        before = preceding::PRECEDING_COMMA;
        continue;
      }
      if (current() == ')') {
        if (before == preceding::PRECEDING_COMMA ||
            (before == preceding::PRECEDING_LIST_START && open_groups_ > 0))
          return fail(format_text_fault::FAULT_MISSING_DESCRIPTOR, start);
        ++position_;
        if (open_groups_ == 0) return finish();
        close_group();
        before = preceding::PRECEDING_ITEM;
        continue;
      }
      /* A missing comma comes before whatever is wrong further inside the item; a
         character that begins no item at all is that item's own fault. */
      if (!comma_optional(before, peek_item()) && begins_item())
        return fail(format_text_fault::FAULT_MISSING_COMMA, start);
      item parsed{};
      if (!parse_item(parsed)) return false;
      switch (parsed.kind) {
        case item_kind::ITEM_GROUP: before = preceding::PRECEDING_LIST_START; break;
        case item_kind::ITEM_SCALE: before = preceding::PRECEDING_SCALE; break;
        case item_kind::ITEM_BREAK: before = preceding::PRECEDING_BREAK; break;
        default: before = preceding::PRECEDING_ITEM; break;
      }
    }
  }

  /* Commas may be left out after kP before F, E, EN, ES, D or G, and around "/" without
     a count, ":" and "$": long-standing format text writes "1PE12.4" and "(I5/)". */
  static constexpr bool comma_optional(preceding before, item parsed) {
    if (before != preceding::PRECEDING_ITEM && before != preceding::PRECEDING_SCALE) return true;
    if (parsed.kind == item_kind::ITEM_BREAK && !parsed.counted) return true;
    return before == preceding::PRECEDING_SCALE && parsed.kind == item_kind::ITEM_FOLLOWS_SCALE;
  }

  /* The kind of the item at the position, as far as the comma rule needs it, read ahead
     without parsing the item. */
  constexpr item peek_item() const {
    std::size_t at = position_;
    const auto character = [&](std::size_t i) { return i < text_.size() ? text_[i] : '\0'; };
    char first = character(at);
    if (first == '/' || first == ':' || first == '$') return {item_kind::ITEM_BREAK, false};
    const bool counted = is_digit(first) || first == '<';
    if (counted) {
      while (is_digit(character(at)) || character(at) == '<' || character(at) == '>' ||
             character(at) == ' ' || character(at) == '\t')
        ++at;
      first = upper_case(character(at));
      if (first == 'P') return {item_kind::ITEM_SCALE, false};
      if (first == '/') return {item_kind::ITEM_BREAK, true};
    }
    const std::size_t index = match_name(at);
    if (index < std::size(descriptor_names) && descriptor_names[index].follows_scale)
      return {item_kind::ITEM_FOLLOWS_SCALE, counted};
    return {item_kind::ITEM_PLAIN, counted};
  }

  /* Whether the character at the position may begin an item: a letter must begin a name,
     or be the P, X or H that wants a number before it. */
  constexpr bool begins_item() const {
    const char first = current();
    if (!is_letter(first)) return is_format_character(first);
    const char letter = upper_case(first);
    return letter == 'P' || letter == 'X' || letter == 'H' ||
           match_name(position_) < std::size(descriptor_names);
  }

  constexpr bool finish() {
    skip_blanks();
    if (current() == ')') return fail(format_text_fault::FAULT_UNBALANCED_PARENTHESES, position_);
    if (!at_end()) return fail(format_text_fault::FAULT_TEXT_AFTER_END, position_);
    emit(FORMAT_END);
    emit_index(reversion_word_);
    if (word_count_ > static_cast<std::size_t>(largest_operand))
      return fail(format_text_fault::FAULT_TOO_LONG, 0);
    return true;
  }

  constexpr bool begin_group(std::size_t start_word, bool counted, bool takes_entry,
                             std::size_t start, item& parsed) {
    if (open_groups_ == max_open_groups ||
        (takes_entry && repeat_entries_ == max_repeat_entries))
      return fail(format_text_fault::FAULT_NESTING_TOO_DEEP, start);
    if (takes_entry) ++repeat_entries_;
    emit(FORMAT_GROUP);
    groups_[open_groups_++] = {word_count_, start_word, takes_entry};
    parsed = {item_kind::ITEM_GROUP, counted};
    return true;
  }

  constexpr void close_group() {
    const open_group group = groups_[--open_groups_];
    if (group.takes_entry) --repeat_entries_;
    emit(FORMAT_GROUP_END);
    emit_index(group.first_word);
    /* Reversion resumes at the last group closed at the outermost level, and reads its
       count again, so the interpreter pushes a fresh repeat entry. */
    if (open_groups_ == 0) reversion_word_ = group.start_word;
  }

  constexpr bool parse_item(item& parsed) {
    const std::size_t start = position_;
    const char first = current();
    if (first == '+' || first == '-') return parse_signed_scale(parsed);
    if (first == '(') {
      ++position_;
      return begin_group(word_count_, false, false, start, parsed);
    }
    if (first == '\'' || first == '"') {
      parsed = {item_kind::ITEM_PLAIN, false};
      return parse_literal();
    }
    if (first == '/' || first == ':' || first == '$') {
      ++position_;
      emit(first == '/' ? FORMAT_SLASH : first == ':' ? FORMAT_COLON : FORMAT_DOLLAR);
      parsed = {item_kind::ITEM_BREAK, false};
      return true;
    }
    if (!at_operand()) return parse_named(start, false, parsed);

    /* A leading number is a repeat count, or the k, n of kP, nX, nH. */
    operand number{};
    if (!parse_operand(number)) return false;
    skip_blanks();
    const char next = upper_case(current());
    if (next == 'P') {
      ++position_;
      return emit_scale(number, start, parsed);
    }
    if (next == 'X') {
      ++position_;
      if (!check_range(number, 1, largest_operand, start)) return false;
      emit(FORMAT_X);
      emit_operand(number);
      parsed = {item_kind::ITEM_PLAIN, false};
      return true;
    }
    if (next == 'H') {
      ++position_;
      parsed = {item_kind::ITEM_PLAIN, false};
      return parse_hollerith(number, start);
    }
    if (at_end()) return fail(format_text_fault::FAULT_UNEXPECTED_END, position_);
    if (next == ')' || next == ',')
      return fail(format_text_fault::FAULT_MISSING_DESCRIPTOR, position_);
    if (!check_range(number, 1, largest_operand, start)) return false;
    const bool takes_entry = !number.is_constant() || number.value > 1;
    const std::size_t count_word = word_count_;
    if (next == '(') {
      emit_operand(number);
      ++position_;
      return begin_group(count_word, true, takes_entry, start, parsed);
    }
    if (next == '\'' || next == '"' || next == ':' || next == '$')
      return fail(format_text_fault::FAULT_REPEAT_NOT_ALLOWED, start);
    if (takes_entry && repeat_entries_ == max_repeat_entries)
      return fail(format_text_fault::FAULT_NESTING_TOO_DEEP, start);
    if (next == '/') {
      emit_operand(number);
      ++position_;
      emit(FORMAT_SLASH);
      parsed = {item_kind::ITEM_BREAK, true};
      return true;
    }
    emit_operand(number);
    return parse_named(start, true, parsed);
  }

  /* "+kP" or "-kP": the only place a sign may stand. */
  constexpr bool parse_signed_scale(item& parsed) {
    const std::size_t start = position_;
    const bool negative = current() == '-';
    ++position_;
    skip_blanks();
    operand scale{};
    if (!parse_digits(scale.value, format_text_fault::FAULT_NUMBER_MISSING)) return false;
    if (negative) scale.value = -scale.value;
    skip_blanks();
    if (upper_case(current()) != 'P') return fail(format_text_fault::FAULT_BAD_NUMBER, start);
    ++position_;
    return emit_scale(scale, start, parsed);
  }

  constexpr bool emit_scale(operand scale, std::size_t start, item& parsed) {
    if (!check_range(scale, -128, 127, start, format_text_fault::FAULT_SCALE_OUT_OF_RANGE))
      return false;
    emit(FORMAT_SCALE);
    emit_operand(scale);
    parsed = {item_kind::ITEM_SCALE, false};
    return true;
  }

  /* Requires the opening quote at the position. Two passes over the text: the length word
     comes before the bytes. */
  constexpr bool parse_literal() {
    const std::size_t start = position_;
    const char quote = current();
    ++position_;
    const std::size_t first_byte = position_;
    std::size_t length = 0;
    for (;;) {
      if (at_end()) return fail(format_text_fault::FAULT_MALFORMED_LITERAL, start);
      if (current() == quote) {
        if (position_ + 1 < text_.size() && text_[position_ + 1] == quote) {
          position_ += 2;
          ++length;
          continue;
        }
        break;
      }
      ++position_;
      ++length;
    }
    const std::size_t end = position_;
    ++position_;
    if (length > static_cast<std::size_t>(largest_operand))
      return fail(format_text_fault::FAULT_TOO_LONG, start);
    emit(FORMAT_LITERAL);
    emit_index(length);
    std::uint32_t packed = 0;
    std::size_t in_word = 0;
    for (std::size_t i = first_byte; i < end; ++i) {
      packed |= static_cast<std::uint32_t>(static_cast<unsigned char>(text_[i])) << (8 * in_word);
      if (text_[i] == quote) ++i; /* the second of a doubled quote */
      if (++in_word == 4) {
        emit(static_cast<std::int32_t>(packed));
        packed = 0;
        in_word = 0;
      }
    }
    if (in_word != 0) emit(static_cast<std::int32_t>(packed));
    return true;
  }

  /* The n characters after "nH", blanks included. */
  constexpr bool parse_hollerith(operand count, std::size_t start) {
    if (!count.is_constant()) return fail(format_text_fault::FAULT_MALFORMED_LITERAL, start);
    if (!check_range(count, 1, largest_operand, start, format_text_fault::FAULT_MALFORMED_LITERAL))
      return false;
    const auto length = static_cast<std::size_t>(count.value);
    if (text_.size() - position_ < length)
      return fail(format_text_fault::FAULT_MALFORMED_LITERAL, start);
    emit(FORMAT_LITERAL2);
    emit(count.value);
    for (std::size_t word = 0; word < (length + 3) / 4; ++word) {
      std::uint32_t packed = 0;
      for (std::size_t k = 0; k < 4 && 4 * word + k < length; ++k)
        packed |= static_cast<std::uint32_t>(
                      static_cast<unsigned char>(text_[position_ + 4 * word + k]))
                  << (8 * k);
      emit(static_cast<std::int32_t>(packed));
    }
    position_ += length;
    return true;
  }

  /* The entry's index, or the table's size when no name matches. Indices and copies
     rather than pointers: with the undefined-behaviour sanitizer, g++ cannot evaluate its
     null checks on addresses inside the table at compile time. */
  constexpr std::size_t match_name(std::size_t at) const {
    if (at > text_.size()) return std::size(descriptor_names);
    for (std::size_t index = 0; index < std::size(descriptor_names); ++index) {
      const std::string_view name = descriptor_names[index].name;
      if (text_.size() - at < name.size()) continue;
      bool same = true;
      for (std::size_t i = 0; i < name.size(); ++i)
        if (upper_case(text_[at + i]) != name[i]) same = false;
      if (same) return index;
    }
    return std::size(descriptor_names);
  }

  /* A descriptor by its letters; `counted` when a repeat count was already written. */
  constexpr bool parse_named(std::size_t start, bool counted, item& parsed) {
    const std::size_t index = match_name(position_);
    if (index == std::size(descriptor_names)) {
      const char letter = upper_case(current());
      if (letter == 'P' || letter == 'X') return fail(format_text_fault::FAULT_MISSING_VALUE, position_);
      if (letter == 'H') return fail(format_text_fault::FAULT_MALFORMED_LITERAL, position_);
      if (is_letter(letter)) return fail(format_text_fault::FAULT_UNKNOWN_DESCRIPTOR, position_);
      if (at_end() || !is_format_character(letter))
        return fail(format_text_fault::FAULT_ILLEGAL_CHARACTER, position_);
      return fail(format_text_fault::FAULT_MISPLACED_CHARACTER, position_);
    }
    const descriptor_name entry = descriptor_names[index];
    if (counted && !entry.is_data) return fail(format_text_fault::FAULT_REPEAT_NOT_ALLOWED, start);
    const std::size_t name_end = position_ + entry.name.size();
    position_ = name_end;
    parsed = {entry.follows_scale ? item_kind::ITEM_FOLLOWS_SCALE : item_kind::ITEM_PLAIN,
              counted};
    if (entry.shape == operand_shape::SHAPE_NONE) {
      emit(entry.code);
      return true;
    }
    const bool real = entry.shape == operand_shape::SHAPE_WIDTH_DECIMALS ||
                      entry.shape == operand_shape::SHAPE_WIDTH_DECIMALS_EXPONENT;
    if (!at_operand()) {
      if (entry.bare_code == 0 || current() == '.')
        return fail(real                   ? format_text_fault::FAULT_MALFORMED_REAL
                    : entry.bare_code == 0 ? format_text_fault::FAULT_MISSING_VALUE
                                           : format_text_fault::FAULT_MISSING_WIDTH,
                    position_);
      emit(entry.bare_code);
      return true;
    }
    const std::size_t width_offset = position_;
    operand width{};
    if (!parse_operand(width)) return false;
    if (!check_range(width, entry.min_width, largest_operand, width_offset,
                     real ? format_text_fault::FAULT_MALFORMED_REAL
                          : format_text_fault::FAULT_VALUE_OUT_OF_RANGE))
      return false;
    emit(entry.code);
    emit_operand(width);
    switch (entry.shape) {
      case operand_shape::SHAPE_COUNT:
      case operand_shape::SHAPE_WIDTH:
        return true;
      case operand_shape::SHAPE_WIDTH_DIGITS:
        return parse_min_digits(width);
      default:
        return parse_decimals(entry.shape == operand_shape::SHAPE_WIDTH_DECIMALS_EXPONENT);
    }
  }

  /* ".m" of I, Z, O, B; without it m = 1. A fixed m above a fixed non-zero w could never
     be shown. */
  constexpr bool parse_min_digits(operand width) {
    operand digits{0, 1};
    skip_blanks();
    if (current() == '.') {
      ++position_;
      const std::size_t offset = position_;
      if (!parse_required(digits, format_text_fault::FAULT_NUMBER_MISSING)) return false;
      if (width.is_constant() && width.value > 0 &&
          !check_range(digits, 0, width.value, offset))
        return false;
    }
    emit_operand(digits);
    return true;
  }

  /* ".d" and, for E, EN, ES and G, an optional "Ee" behind the -23 marker. */
  constexpr bool parse_decimals(bool exponent_allowed) {
    skip_blanks();
    if (current() != '.') return fail(format_text_fault::FAULT_MALFORMED_REAL, position_);
    ++position_;
    operand decimals{};
    if (!parse_required(decimals, format_text_fault::FAULT_NUMBER_MISSING)) return false;
    emit_operand(decimals);
    skip_blanks();
    if (!exponent_allowed || upper_case(current()) != 'E') return true;
    ++position_;
    const std::size_t offset = position_;
    operand exponent{};
    if (!parse_required(exponent, format_text_fault::FAULT_MALFORMED_REAL)) return false;
    if (!check_range(exponent, 1, largest_operand, offset, format_text_fault::FAULT_MALFORMED_REAL))
      return false;
    emit(FORMAT_EXPONENT_WIDTH);
    emit_operand(exponent);
    return true;
  }
};

/* Not constexpr: reaching it while the compiler evaluates a format stops the build. */
inline void format_text_is_malformed() {}

/* The failing call names Fault and Offset in the compiler's message. */
template <format_text_fault Fault, std::size_t Offset>
constexpr std::size_t checked_word_count(std::size_t word_count) {
  if (Fault != format_text_fault::FAULT_NONE) format_text_is_malformed();
  return word_count;
}

}  // namespace format_compiler_detail
}  // namespace io

// The free-form reader's token scanner: character classes, tokens, repeat counts, strings.
#include "list_scanner.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

#include "characters.h"
#include "never_destroyed.h"
#include "records.h"
#include "units.h"

namespace io {
namespace {

constexpr std::int16_t DECIMAL_MODE_COMMA = static_cast<std::int16_t>(decimal_code::DECIMAL_COMMA);
static_assert(DECIMAL_MODE_COMMA == 65);

// The characters of the last character token. Constants of up to 128 characters stay in
// the fixed area; beyond it the text moves to the heap, which doubles when full (a fixed
// step would copy a long constant over and over) and is kept for later statements.
class string_buffer {
 public:
  string_buffer() = default;
  string_buffer(const string_buffer&) = delete;
  string_buffer& operator=(const string_buffer&) = delete;

  void clear() { length_ = 0; }
  // False when memory runs out; the text so far is kept.
  bool append(char c) {
    if (length_ == capacity_ && !grow()) return false;
    bytes_[length_++] = c;
    return true;
  }
  std::int32_t length() const { return length_; }
  std::string_view text() const { return {bytes_, static_cast<std::size_t>(length_)}; }

 private:
  static constexpr std::int32_t step = 128;

  bool grow() {
    if (capacity_ > INT32_MAX / 2) return false;
    const std::int32_t capacity = 2 * capacity_;
    char* grown = nullptr;
    if (bytes_ == initial_.data()) {
      grown = static_cast<char*>(std::malloc(static_cast<std::size_t>(capacity)));
      if (grown != nullptr) std::memcpy(grown, initial_.data(), initial_.size());
    } else {
      grown = static_cast<char*>(std::realloc(bytes_, static_cast<std::size_t>(capacity)));
    }
    if (grown == nullptr) return false;
    bytes_ = grown;
    capacity_ = capacity;
    return true;
  }

  std::array<char, step> initial_{};
  char* bytes_ = initial_.data();
  std::int32_t capacity_ = step;
  std::int32_t length_ = 0;
};

// The token part of a free-form read statement: the scanner's place in the current record
// and what it found there. A record fetched through fetch_scan_record is scanned from its
// start, with a comma at its start counting as a null.
struct list_scan_state {
  std::int32_t scan_position = 0;  // the next byte of the current record to examine
  bool comma_seen = false;         // a separator comma counts as a null until a token is scanned
  token_kind kind = token_kind::TOKEN_NONE;
  scanned_value value{};
  std::int32_t scan_error_code = 0;
  std::int32_t item_type = 0;
  token_kind previous_kind = token_kind::TOKEN_NONE;
  std::int32_t repeat_remaining = 0;
  std::int16_t decimal_mode = 0;  // the connection's code; only 65 means COMMA
  // Inside a complex constant a left parenthesis and a repeat count are errors: this
  // keeps the scanner's recursion two calls deep whatever the input.
  bool in_complex = false;
  string_buffer string;
  std::array<scanned_value, 2> complex_pair{};
};

// At namespace scope, so reaching it costs no first-use check on every character.
constinit never_destroyed<list_scan_state> the_state;

list_scan_state& state() { return the_state.value; }

bool comma_mode() { return state().decimal_mode == DECIMAL_MODE_COMMA; }

// What a character does where a token may start.
enum class char_action : std::uint8_t {
  ACTION_INVALID,        // error 225
  ACTION_SKIP,           // blank, tab, and the separator of the other decimal mode
  ACTION_END_OF_RECORD,  // the sentinel: fetch the next record
  ACTION_QUOTE,          // delimited character constant
  ACTION_COMPLEX,        // left parenthesis
  ACTION_NUMBER,         // sign or exponent letter: a number from here
  ACTION_DIGIT,          // a number, then perhaps a repeat count
  ACTION_POINT,          // decimal symbol: a number or a logical (.TRUE.)
  ACTION_SEPARATOR,      // the comma rule
  ACTION_SLASH,
  ACTION_TRUE,
  ACTION_FALSE,
  ACTION_TEXT_DIGIT,     // character item: a repeat count or undelimited text
  ACTION_TEXT,           // character item: undelimited text
};

using action_table = std::array<char_action, 256>;

constexpr std::size_t slot(char c) { return static_cast<unsigned char>(c); }

constexpr void set_all(action_table& table, std::string_view characters, char_action action) {
  for (const char c : characters) table[slot(c)] = action;
}

// Items of every type but character: anything not named here cannot begin a token.
constexpr action_table numeric_table(bool decimal_comma) {
  action_table table{};
  set_all(table, " \t", char_action::ACTION_SKIP);
  set_all(table, "\n", char_action::ACTION_END_OF_RECORD);
  set_all(table, "'\"", char_action::ACTION_QUOTE);
  set_all(table, "(", char_action::ACTION_COMPLEX);
  set_all(table, "+-EeDd", char_action::ACTION_NUMBER);
  set_all(table, "0123456789", char_action::ACTION_DIGIT);
  set_all(table, ".", char_action::ACTION_POINT);
  set_all(table, ",", decimal_comma ? char_action::ACTION_POINT : char_action::ACTION_SEPARATOR);
  set_all(table, ";", decimal_comma ? char_action::ACTION_SEPARATOR : char_action::ACTION_SKIP);
  set_all(table, "/", char_action::ACTION_SLASH);
  set_all(table, "Tt", char_action::ACTION_TRUE);
  set_all(table, "Ff", char_action::ACTION_FALSE);
  return table;
}

// Character items: anything that is not a separator begins undelimited text.
constexpr action_table character_table(bool decimal_comma) {
  action_table table{};
  table.fill(char_action::ACTION_TEXT);
  set_all(table, " \t", char_action::ACTION_SKIP);
  set_all(table, "\n", char_action::ACTION_END_OF_RECORD);
  set_all(table, "'\"", char_action::ACTION_QUOTE);
  set_all(table, ",", decimal_comma ? char_action::ACTION_SKIP : char_action::ACTION_SEPARATOR);
  set_all(table, ";", decimal_comma ? char_action::ACTION_SEPARATOR : char_action::ACTION_SKIP);
  set_all(table, "/", char_action::ACTION_SLASH);
  set_all(table, "0123456789", char_action::ACTION_TEXT_DIGIT);
  return table;
}

// Indexed [character item][decimal comma].
constexpr action_table action_tables[2][2] = {
    {numeric_table(false), numeric_table(true)},
    {character_table(false), character_table(true)},
};
static_assert(action_tables[0][0][slot('*')] == char_action::ACTION_INVALID);
static_assert(action_tables[0][0][slot(')')] == char_action::ACTION_INVALID);
static_assert(action_tables[0][0][slot('\r')] == char_action::ACTION_INVALID);
static_assert(action_tables[0][0][slot('\0')] == char_action::ACTION_INVALID);
static_assert(action_tables[0][0][0x80] == char_action::ACTION_INVALID);
static_assert(action_tables[0][1][slot(',')] == char_action::ACTION_POINT);
static_assert(action_tables[1][0][slot('(')] == char_action::ACTION_TEXT);
static_assert(action_tables[1][1][slot(',')] == char_action::ACTION_SKIP);

char_action action_of(char c) {
  return action_tables[is_character_type(state().item_type)][comma_mode()][slot(c)];
}

// The sentinel that ends the record, as opposed to a line feed inside an internal or
// direct-access record, which is data and reads as a blank.
bool is_end_of_record(std::int32_t position) {
  const auto& record = input_record();
  return position == record.fetched_length;
}

char* record_bytes() { return input_record().bytes; }

void set_error(std::int32_t code) {
  auto& s = state();
  s.kind = token_kind::TOKEN_ERROR;
  s.scan_error_code = code;
}

// A numeric constant that starts at `start`. The scan position ends where the conversion
// stopped, whether it converted or not.
void scan_number(std::int32_t start) {
  auto& s = state();
  auto& record = input_record();
  const auto length = static_cast<std::size_t>(record.fetched_length + 1 - start);
  const numeric_scan scan =
      scan_numeric_constant(std::span<char>{record.bytes + start, length}, comma_mode());
  s.scan_position = start + static_cast<std::int32_t>(scan.scanned_length);
  if (scan.error_code != 0) return set_error(scan.error_code);
  if (scan.value_class == numeric_class::NUMERIC_EMPTY) {
    // A lone sign, point or exponent is zero for 64-bit real and complex items only; a
    // 32-bit real refuses it like an integer does.
    switch (s.item_type) {
      case TYPE_COMPLEX8: case TYPE_COMPLEX16: case TYPE_REAL8: case TYPE_REAL16: break;
      default: return set_error(ERROR_DATA_CONVERSION);
    }
  }
  s.kind = token_kind::TOKEN_VALUE;
  s.value = scan.value;
}

// After "r*": a separator, blank or end of record means r null values; anything else
// begins the constant to repeat. The mode's own separators count (a semicolon too), but
// not a comma that is the decimal symbol: in COMMA mode 3*,5 is three times 0,5.
bool count_stands_alone(char next) {
  switch (action_of(next)) {
    case char_action::ACTION_SKIP:
    case char_action::ACTION_END_OF_RECORD:
    case char_action::ACTION_SEPARATOR:
    case char_action::ACTION_SLASH:
      return true;
    default:
      return false;
  }
}

// The "*" after a count at the scan position is passed over. Returns the count; the token
// is TOKEN_NULL when no constant follows, else TOKEN_NONE so that the caller scans it.
std::int32_t take_repeat_count(std::int32_t count) {
  auto& s = state();
  auto& record = input_record();
  ++s.scan_position;
  s.kind = count_stands_alone(record.bytes[s.scan_position]) ? token_kind::TOKEN_NULL
                                                              : token_kind::TOKEN_NONE;
  return count;
}

// A logical constant is the whole word: TRUE, .false. and Tuesday are one value each.
void scan_logical(bool value) {
  auto& s = state();
  auto& record = input_record();
  s.kind = token_kind::TOKEN_VALUE;
  s.value = scanned_logical(value);
  // The semicolon ends the word too: it separates or reads as a blank in both modes. Inside
  // a complex constant so does the closing parenthesis, or (T,F) could not be read.
  for (;;) {
    const char c = record.bytes[s.scan_position];
    if (c == ',' || c == ' ' || c == '\t' || c == '/' || c == '\n' || c == ';') return;
    if (c == ')' && s.in_complex) return;
    ++s.scan_position;
  }
}

// A delimited character constant, the opening delimiter already passed. Two delimiters
// in a row stand for one; the constant may run on into the following records.
void scan_quoted_string(char delimiter) {
  auto& s = state();
  auto& record = input_record();
  s.string.clear();
  for (;;) {
    const std::int32_t position = s.scan_position++;
    const char c = record.bytes[position];
    if (c == delimiter) {
      // The sentinel is never a delimiter, so a pair is never taken across records.
      if (record.bytes[s.scan_position] != delimiter) break;
      ++s.scan_position;
    } else if (c == '\n' && is_end_of_record(position)) {
      if (fetch_scan_record() != 0) return set_error(ERROR_LEXICAL);
      continue;
    }
    if (!s.string.append(c)) return set_error(ERROR_ALLOCATION);
  }
  s.kind = token_kind::TOKEN_QUOTED;
  s.value = {s.item_type, static_cast<std::uint32_t>(s.string.length())};
}

// Undelimited text for a character item, from `start` up to a comma, blank, tab, slash
// or the end of the record. A backslash that ends a record joins the next one.
void scan_undelimited_string(std::int32_t start) {
  auto& s = state();
  auto& record = input_record();
  s.string.clear();
  s.scan_position = start;
  for (;;) {
    const std::int32_t position = s.scan_position;
    const char c = record.bytes[position];
    if (c == '\\' && is_end_of_record(position + 1)) {
      if (fetch_scan_record() != 0) return set_error(ERROR_LEXICAL);
      continue;
    }
    if (c == ',' || c == ' ' || c == '\t' || c == '/' || c == '\n') break;
    if (!s.string.append(c)) return set_error(ERROR_ALLOCATION);
    ++s.scan_position;
  }
  s.kind = token_kind::TOKEN_VALUE;
  s.value = {s.item_type, static_cast<std::uint32_t>(s.string.length())};
}

// Passes blanks, tabs and ends of records; true when the next character is `wanted`,
// which is then passed over too.
bool expect_character(char wanted) {
  auto& s = state();
  const auto& record = input_record();
  for (;;) {
    const std::int32_t position = s.scan_position++;
    const char c = record.bytes[position];
    if (c == ' ' || c == '\t') continue;
    if (c == '\n') {
      if (!is_end_of_record(position)) continue;
      if (fetch_scan_record() != 0) return false;
      continue;
    }
    return c == wanted;
  }
}

// One part of a complex constant: a number or logical, as a 64-bit real.
bool scan_complex_part(scanned_value& part) {
  auto& s = state();
  if (next_token() != token_kind::TOKEN_VALUE) return false;
  if (is_character_type(s.value.type) || s.value.type == TYPE_COMPLEX16) return false;
  part = scanned_real64(value_to_real64(s.value));
  return true;
}

// "(re, im)", the left parenthesis already passed; COMMA mode separates by a semicolon.
void scan_complex_constant() {
  auto& s = state();
  if (s.in_complex) return set_error(ERROR_LEXICAL);
  s.in_complex = true;
  std::array<scanned_value, 2> parts{};
  const bool complete = scan_complex_part(parts[0]) &&
                        expect_character(comma_mode() ? ';' : ',') &&
                        scan_complex_part(parts[1]) && expect_character(')');
  s.in_complex = false;
  if (!complete) return set_error(ERROR_LEXICAL);
  s.complex_pair = parts;
  s.kind = token_kind::TOKEN_VALUE;
  s.value = {TYPE_COMPLEX16, 0};
}

// For a character item, a run of digits and "*" is a repeat count when the count is at
// least 1 and fits 32 bits; otherwise (0*, 00*, or a huge count) the run is plain text.
std::int32_t text_repeat_count(std::int32_t start) {
  const char* bytes = record_bytes();
  std::int32_t end = start;
  while (is_digit(bytes[end])) ++end;
  if (bytes[end] != '*') return 0;
  const int32_conversion count =
      text_to_int32({bytes + start, static_cast<std::size_t>(end - start)});
  if (count.status != conversion_status::CONVERSION_OK || count.value < 1) return 0;
  state().scan_position = end;
  return count.value;
}

// Acts on characters until a token is found: step 3 of the scanner. Returns a repeat
// count when one was read (with the token TOKEN_NULL, or TOKEN_NONE when the repeated
// constant is still to be scanned), else 0. `comma_null` tells a null of the comma rule.
std::int32_t scan_token(bool& comma_null) {
  auto& s = state();
  auto& record = input_record();
  for (;;) {
    // A blank or tab is passed over under every table: the leading blanks of a record
    // cost no table lookup.
    while (record.bytes[s.scan_position] == ' ' || record.bytes[s.scan_position] == '\t') {
      ++s.scan_position;
    }
    const std::int32_t position = s.scan_position++;
    const char c = record.bytes[position];
    switch (action_of(c)) {
      case char_action::ACTION_SKIP:
        continue;
      case char_action::ACTION_END_OF_RECORD:
        if (!is_end_of_record(position)) continue;
        if (const std::int32_t code = fetch_scan_record(); code != 0) {
          set_error(code);
          return 0;
        }
        continue;
      case char_action::ACTION_SEPARATOR:
        if (s.comma_seen) {
          s.kind = token_kind::TOKEN_NULL;
          comma_null = true;
          return 0;
        }
        s.comma_seen = true;
        continue;
      case char_action::ACTION_QUOTE:
        scan_quoted_string(c);
        return 0;
      case char_action::ACTION_COMPLEX:
        scan_complex_constant();
        return 0;
      case char_action::ACTION_NUMBER:
        scan_number(position);
        return 0;
      case char_action::ACTION_DIGIT:
        scan_number(position);
        // Only an unsigned count of 1 or more that fits 32 bits repeats; 0*, 1.5* and the
        // like leave the "*" to be refused as the next token.
        if (s.kind == token_kind::TOKEN_VALUE && s.value.type == TYPE_INTEGER4 &&
            s.value.int32() > 0 && !s.in_complex && record.bytes[s.scan_position] == '*') {
          return take_repeat_count(s.value.int32());
        }
        return 0;
      case char_action::ACTION_POINT: {
        const char next = record.bytes[s.scan_position];
        if (next == 'T' || next == 't' || next == 'F' || next == 'f') {
          ++s.scan_position;
          scan_logical(next == 'T' || next == 't');
        } else {
          scan_number(position);
        }
        return 0;
      }
      case char_action::ACTION_SLASH:
        s.kind = token_kind::TOKEN_SLASH;
        return 0;
      case char_action::ACTION_TRUE:
        scan_logical(true);
        return 0;
      case char_action::ACTION_FALSE:
        scan_logical(false);
        return 0;
      case char_action::ACTION_TEXT_DIGIT:
        if (const std::int32_t count = text_repeat_count(position); count > 0) {
          return take_repeat_count(count);
        }
        scan_undelimited_string(position);
        return 0;
      case char_action::ACTION_TEXT:
        scan_undelimited_string(position);
        return 0;
      case char_action::ACTION_INVALID:
        set_error(ERROR_LEXICAL);
        return 0;
    }
  }
}

// The first byte at or after `position` that is not a blank, eight bytes at a time:
// right-justified numbers come after long runs of blanks. The byte that ends the record
// stops the scan, and 16 readable bytes after it let the last word reach past it.
std::int32_t skip_blank_run(const char* bytes, std::int32_t position) {
  constexpr std::uint64_t eight_blanks = 0x2020202020202020u;
  for (;; position += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes + position, sizeof word);
    word ^= eight_blanks;
    if (word != 0) {
      const int zero_bits = std::endian::native == std::endian::little ? std::countr_zero(word)
                                                                      : std::countl_zero(word);
      return position + zero_bits / 8;
    }
  }
}

// The general scanner, for every token the short path does not take. Kept out of line so
// that the short path needs none of its registers and stack.
[[gnu::noinline]] token_kind scan_next_token() {
  auto& s = state();
  // In 2*3*7 the first count is the one that holds, as when each count scanned the
  // rest anew; a loop rather than recursion keeps a long run of counts off the stack.
  std::int32_t repeat_count = 0;
  bool comma_null = false;
  do {
    s.scan_error_code = 0;
    s.kind = token_kind::TOKEN_NONE;
    const std::int32_t count = scan_token(comma_null);
    if (repeat_count == 0) repeat_count = count;
  } while (s.kind == token_kind::TOKEN_NONE);
  if (repeat_count > 0) s.repeat_remaining = repeat_count - 1;
  if (!comma_null) s.comma_seen = false;
  s.previous_kind = s.kind;
  return s.kind;
}

}  // namespace

void start_token_scan() {
  auto& s = state();
  s.previous_kind = token_kind::TOKEN_NONE;
  s.kind = token_kind::TOKEN_NONE;
  s.repeat_remaining = 0;
  s.in_complex = false;
  s.comma_seen = false;
}

void set_scan_decimal_mode(std::int16_t decimal_mode) { state().decimal_mode = decimal_mode; }

void set_scan_item_type(std::int32_t type) { state().item_type = type; }

std::int32_t fetch_scan_record() {
  const std::int32_t code = fetch_next_record();
  if (code == 0) {
    auto& s = state();
    s.scan_position = 0;
    s.comma_seen = true;
  }
  return code;
}

// The common token for a numeric item: blanks, then a constant scan_plain_constant
// takes. The state is left as the scanner would leave it. False for anything else (the
// blanks passed over stay passed), which the general scanner then takes.
bool take_plain_number() {
  auto& s = state();
  const record_scan_view view = input_record_scan_view();
  const char* bytes = view.bytes;
  std::int32_t position = skip_blank_run(bytes, s.scan_position);
  // Tabs, and blanks after them.
  while (bytes[position] == ' ' || bytes[position] == '\t') ++position;
  s.scan_position = position;
  const std::optional<numeric_scan> scan = scan_plain_constant(
      bytes + position, bytes + view.length, s.decimal_mode == DECIMAL_MODE_COMMA);
  if (!scan) return false;
  s.scan_position = position + static_cast<std::int32_t>(scan->scanned_length);
  s.comma_seen = false;
  s.scan_error_code = 0;
  s.kind = token_kind::TOKEN_VALUE;
  // Field by field: a copy of the whole struct goes through a 16-byte register that is
  // loaded from two narrower stores, which stalls the load.
  s.value.type = scan->value.type;
  s.value.bits = scan->value.bits;
  s.previous_kind = s.kind;
  return true;
}

// The next token for the current item, or the last one again while a repeat count lasts.
token_kind next_token() {
  auto& s = state();
  if (s.repeat_remaining > 0) {
    --s.repeat_remaining;
    return s.kind;
  }
  if (!s.in_complex && !is_character_type(s.item_type) && take_plain_number()) {
    return s.kind;
  }
  return scan_next_token();
}

token_kind previous_token_kind() { return state().previous_kind; }

bool repeat_pending() { return state().repeat_remaining > 0; }

const scanned_value& token_value() { return state().value; }

std::int32_t scan_error_code() { return state().scan_error_code; }

std::string_view token_text() { return state().string.text(); }

const std::array<scanned_value, 2>& token_complex_pair() { return state().complex_pair; }

void quoted_token_checked() { state().kind = token_kind::TOKEN_VALUE; }

}  // namespace io

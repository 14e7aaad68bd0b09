// The free-form reader's token scanner: what a token is, repeat counts, character constants,
// scanned from the current input record. It fetches records through the record layer and
// gives scan errors as codes; the read statement (list_input.cpp) reports them.
#pragma once
#include <array>
#include <cstdint>
#include <string_view>

#include "item_store.h"
#include "record_io.h"
#include "text_to_number.h"

namespace io {


constexpr bool is_character_type(std::int32_t type) {
  return type == TYPE_CHARACTER || type == TYPE_WIDE_CHARACTER;
}

enum class token_kind : std::int32_t {
  TOKEN_NONE = 0,    // nothing found yet; the scanner continues
  TOKEN_ERROR = 1,   // the scan error code says why
  TOKEN_NULL = 2,    // the item is left unchanged
  TOKEN_SLASH = 3,   // the statement's remaining items are left unchanged
  TOKEN_VALUE = 4,   // held in the scanned value
  TOKEN_QUOTED = 5,  // a delimited character constant, not yet checked against the item
};

// A read statement begins: no token, no repeat pending, no record scanned yet.
void start_token_scan();
// The connection's decimal code; only 65 (DECIMAL_COMMA) makes the comma the decimal symbol.
void set_scan_decimal_mode(std::int16_t decimal_mode);
// The type of the item the next token is for: it chooses how characters read.
void set_scan_item_type(std::int32_t type);

// The statement's next record, from the record layer, is scanned from its start. Returns
// fetch_next_record's code.
std::int32_t fetch_scan_record();

// The common token, blanks and then a plain number, taken in one pass; the token is then
// TOKEN_VALUE. False for anything else, which next_token takes. Only for a numeric item
// with no repeat pending.
bool take_plain_number();
// The next token for the current item, or the last one again while a repeat count lasts.
token_kind next_token();

// The kind of token the last scan found; a repeat does not scan.
token_kind previous_token_kind();
// The last token still repeats: next_token gives it again without a scan.
bool repeat_pending();
// The last token's value: a number or logical, or for a character token its item type and
// length.
const scanned_value& token_value();
std::int32_t scan_error_code();
// The characters of a character token.
std::string_view token_text();
// The two parts of a complex token (value type TYPE_COMPLEX16), as 64-bit reals.
const std::array<scanned_value, 2>& token_complex_pair();
// The statement checked a quoted constant against its item: a repeat of it is a value.
void quoted_token_checked();

}  // namespace io

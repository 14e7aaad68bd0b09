// The format of a formatted statement: the compiled words the program passed, or a text
// given at run time (io_set_format_text) compiled once per distinct text. Part of the
// statement frame: a fault of the text is a fault of the statement that takes it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "errors.h"

namespace io {

// A format from the C entries carries no length: it is trusted up to its end marker.
inline constexpr std::size_t unbounded_format = static_cast<std::size_t>(-1);

// The text the next formatted statement takes as its format. Holds for that one statement.
void set_statement_format_text(std::string_view text);

// A text no formatted begin took is forgotten when the next statement gives its source
// position, as POS= is: it never becomes the format of a later, unrelated statement.
void forget_statement_format_text();

struct statement_format {
  const std::int32_t* words;  // null when `error` is set
  std::size_t word_limit;     // unbounded_format for words the program passed
  std::int32_t error;         // 0, or the library's code for a fault of the text
};

// The format of the formatted statement beginning now: `format` when the program passed
// one; else the words compiled from the text set for this statement (a text seen before is
// not compiled again), or the code of the text's fault. Takes the text: the next statement
// has none unless it is set again. No format at all is ERROR_INVALID_EDIT.
statement_format take_statement_format(const std::int32_t* format);

// The words of a caller that has them with their length (untrusted formats, tests): no text
// is taken, and no words at all is ERROR_INVALID_EDIT.
inline statement_format given_format(std::span<const std::int32_t> format) {
  if (format.data() == nullptr) return {nullptr, 0, ERROR_INVALID_EDIT};
  return {format.data(), format.size(), 0};
}

}  // namespace io

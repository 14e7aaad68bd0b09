// The format of a formatted statement, from the program's words or a text given at run time;
// the text waiting for the next statement, and the cache of texts already compiled.
#include "format_text.h"

#include <array>
#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "errors.h"
#include "format_compiler.h"
#include "never_destroyed.h"
#include "short_copy.h"

namespace io {
namespace {

// The library's code for each fault of a text, by the compiler's fault.
constexpr std::int32_t fault_codes[] = {
    0,                               // FAULT_NONE
    ERROR_NO_LEFT_PARENTHESIS,       // FAULT_NO_OPENING_PARENTHESIS
    ERROR_UNBALANCED_PARENTHESES,    // FAULT_UNBALANCED_PARENTHESES
    ERROR_FORMAT_SYNTAX,             // FAULT_TEXT_AFTER_END
    ERROR_UNKNOWN_EDIT_LETTER,       // FAULT_UNKNOWN_DESCRIPTOR
    ERROR_EDIT_VALUE_MISSING,        // FAULT_MISSING_VALUE
    ERROR_REAL_EDIT,                 // FAULT_MALFORMED_REAL
    ERROR_FORMAT_SYNTAX,             // FAULT_BAD_NUMBER
    ERROR_FORMAT_SYNTAX,             // FAULT_VALUE_OUT_OF_RANGE
    ERROR_FORMAT_LITERAL,            // FAULT_MALFORMED_LITERAL
    ERROR_FORMAT_SYNTAX,             // FAULT_MISSING_COMMA
    ERROR_FORMAT_SYNTAX,             // FAULT_MISSING_DESCRIPTOR
    ERROR_FORMAT_SYNTAX,             // FAULT_REPEAT_NOT_ALLOWED
    ERROR_NESTING,                   // FAULT_NESTING_TOO_DEEP
    ERROR_FORMAT_SYNTAX,             // FAULT_TOO_LONG
    ERROR_FORMAT_END,                // FAULT_UNEXPECTED_END
    ERROR_ILLEGAL_FORMAT_CHARACTER,  // FAULT_ILLEGAL_CHARACTER
    ERROR_NUMBER_MISSING,            // FAULT_NUMBER_MISSING
    ERROR_SCALE_FACTOR,              // FAULT_SCALE_OUT_OF_RANGE
    ERROR_FORMAT_SYNTAX,             // FAULT_MISPLACED_CHARACTER
    ERROR_FORMAT_SYNTAX,             // FAULT_MISSING_WIDTH
};
static_assert(std::size(fault_codes) == format_text_fault_count);
// A row left out shifts every later one: the last row must still be the last fault.
static_assert(fault_codes[static_cast<std::size_t>(format_text_fault::FAULT_MISSING_WIDTH)] ==
              ERROR_FORMAT_SYNTAX);

// One text compiled: its words, or the code of its fault.
struct cached_format {
  std::string text;
  std::vector<std::int32_t> words;
  std::int32_t error = 0;
  std::uint64_t last_use = 0;  // 0: never filled
};

// A loop seldom alternates among more texts than this; each entry keeps its buffers, so a
// warm cache allocates nothing.
constexpr std::size_t cache_entries = 8;

// No entry: the pending text is in `pending_text`.
constexpr std::size_t no_entry = cache_entries;

// The caller's buffer need not outlive io_set_format_text: a text the cache holds is
// remembered by its entry, any other is copied.
struct format_text_state {
  bool text_pending = false;
  std::size_t pending_entry = no_entry;
  std::string pending_text;
  std::int32_t pending_error = 0;  // the text could not be kept
  std::array<cached_format, cache_entries> cache;
  std::size_t last_hit = 0;
  std::uint64_t uses = 0;
};

never_destroyed<format_text_state> the_state;

format_text_state& state() { return the_state.value; }

// Fills `entry` from `text`, in the entry's own buffers. One pass counts the words when they
// do not fit, a second stores them.
void compile_into(cached_format& entry, std::string_view text) {
  try {
    entry.text.assign(text);
    entry.words.resize(entry.words.capacity());
    format_compile_result result = try_compile_format(text, entry.words);
    if (result.fault == format_text_fault::FAULT_NONE && result.word_count > entry.words.size()) {
      entry.words.resize(result.word_count);
      result = try_compile_format(text, entry.words);
    }
    entry.words.resize(result.word_count);
    entry.error = fault_codes[static_cast<std::size_t>(result.fault)];
  } catch (const std::bad_alloc&) {
    // Not kept: the next statement with this text tries again.
    entry.text.clear();
    entry.words.clear();
    entry.error = ERROR_ALLOCATION;
    entry.last_use = 0;
  }
}

// The entry holding `text`, or no_entry.
std::size_t find_entry(std::string_view text) {
  auto& s = state();
  if (s.cache[s.last_hit].last_use != 0 && same_short_text(s.cache[s.last_hit].text, text)) return s.last_hit;
  for (std::size_t i = 0; i < cache_entries; ++i)
    if (s.cache[i].last_use != 0 && same_short_text(s.cache[i].text, text)) return i;
  return no_entry;
}

// The pending text's entry, compiled now into the least recently used entry if no entry
// holds it.
const cached_format& pending_format() {
  auto& s = state();
  std::size_t index = s.pending_entry;
  if (index == no_entry) {
    index = 0;
    for (std::size_t i = 1; i < cache_entries; ++i)
      if (s.cache[i].last_use < s.cache[index].last_use) index = i;
    s.cache[index].last_use = 1;  // filled, whatever its use count becomes below
    compile_into(s.cache[index], s.pending_text);
  }
  cached_format& entry = s.cache[index];
  if (entry.last_use != 0) entry.last_use = ++s.uses;
  s.last_hit = index;
  return entry;
}

}  // namespace

void set_statement_format_text(std::string_view text) {
  auto& s = state();
  s.text_pending = true;
  s.pending_error = 0;
  s.pending_entry = find_entry(text);
  if (s.pending_entry != no_entry) return;
  try {
    s.pending_text.assign(text);
  } catch (const std::bad_alloc&) {
    s.pending_error = ERROR_ALLOCATION;
  }
}

void forget_statement_format_text() { state().text_pending = false; }

statement_format take_statement_format(const std::int32_t* format) {
  auto& s = state();
  const bool text_given = s.text_pending;
  s.text_pending = false;
  if (format != nullptr) return {format, unbounded_format, 0};
  if (!text_given) return {nullptr, 0, ERROR_INVALID_EDIT};
  if (s.pending_error != 0) return {nullptr, 0, s.pending_error};
  const cached_format& entry = pending_format();
  if (entry.error != 0) return {nullptr, 0, entry.error};
  // Bounded by the words the text gave: the interpreter never reads past them.
  return {entry.words.data(), entry.words.size(), 0};
}

}  // namespace io

// The walk over a compiled format that formatted output and formatted input share: codes with
// their repeat counts, operands (values or registered routines), data descriptors, groups, the
// end marker and reversion, and the guard against an endless scan. It reports nothing itself:
// each step returns 0 or an error code for the statement to report.
#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "errors.h"
#include "record_io.h"

namespace io {

// Limits that keep a malformed or hostile format from exhausting memory or time.
// Codes one item (or the end of the statement) may read before the scan counts as endless
// (error 246): nested repeat counts over control edits alone would otherwise loop for ages.
inline constexpr std::int64_t max_codes_per_scan = std::int64_t{1} << 24;
// Routines that variable format expressions may name.
inline constexpr std::int32_t max_operand_routines = 1024;
inline constexpr std::int32_t repeat_stack_size = 20;

// The index a format's operand pair names, or -1 for a null routine or a full table.
// Registering a routine again gives its first index, so a program may register in a loop.
std::int32_t fmt_register_operand(format_operand_routine routine);
// The value the routine registered as `index` gives now; false when none is registered there.
bool operand_routine_value(std::int32_t index, std::int32_t& value);

// A data descriptor as the format writes it; a bare one (no operands) has width 0.
struct written_edit {
  std::int32_t code;  // the form with operands: FORMAT_A_W, FORMAT_I_W, ...
  bool bare;
  std::int32_t width;   // 0 or more: a negative width from a routine counts as 0
  std::int32_t digits;  // m of I, Z, O, B; d of F, E, EN, ES, D, G
  std::int32_t exponent;
  bool exponent_given;
};

struct repeat_entry {
  std::int32_t remaining;
  std::int32_t code;
  std::size_t index;  // the word after the code
};

// The bare codes run from A down to Z without a gap, each with the form that carries operands.
inline constexpr std::int32_t bare_with_operands[] = {FORMAT_A_W, FORMAT_L_W, FORMAT_I_W,
                                                      FORMAT_F_W, FORMAT_E_W, FORMAT_G_W,
                                                      FORMAT_D_W, FORMAT_O_W, FORMAT_Z_W};
static_assert(std::size(bare_with_operands) == FORMAT_A - FORMAT_Z + 1);

constexpr bool is_data_edit(std::int32_t code) {
  return (code <= FORMAT_A_W && code >= FORMAT_F_W) || (code <= FORMAT_E_W && code >= FORMAT_Z) ||
         code == FORMAT_B_W;
}

// One statement's place in its format. A format from the C entries carries no length: it is
// trusted up to its end marker (word_limit unbounded until then), after which nothing is read.
struct format_walk {
  const std::int32_t* format = nullptr;
  std::size_t word_limit = 0;  // shrinks to just past the end marker once that is met
  std::size_t index = 0;
  std::array<repeat_entry, repeat_stack_size> repeat_stack{};
  std::int32_t depth = -1;
  bool repeat_pending = false;
  std::int32_t error = 0;  // the fault a FORMAT_ERROR from next_code stands for

  void start(const std::int32_t* words, std::size_t limit) {
    format = words;
    word_limit = limit;
    index = 0;
    depth = -1;
    repeat_pending = false;
    error = 0;
  }

  // At least n words of the format left at the index (an index past the limit has none).
  // Indexes come from 32-bit words and n is small: the sum cannot wrap.
  bool words_left(std::size_t n) const { return index + n <= word_limit; }

  std::int32_t read_word(std::int32_t& word) {
    if (!words_left(1)) return ERROR_INVALID_EDIT;
    word = format[index++];
    return 0;
  }

  // An operand pair: the value itself, or what the registered routine it names returns.
  std::int32_t read_operand(std::int32_t& value) {
    std::int32_t flag = 0;
    if (words_left(2)) {
      // Both words at once: one bound check for the pair.
      flag = format[index];
      value = format[index + 1];
      index += 2;
    } else {
      if (const std::int32_t code = read_word(flag); code != 0) return code;
      if (const std::int32_t code = read_word(value); code != 0) return code;
    }
    if (flag == 0) return 0;
    return operand_routine_value(value, value) ? 0 : ERROR_INVALID_EDIT;
  }

  // The next edit code with its repeat count applied; FORMAT_ERROR with `error` set on a fault.
  // Each item, and the statement's end, scans afresh with a budget of max_codes_per_scan that
  // every code spends; a local of the scan's, it stays in a register.
  std::int32_t next_code(std::int64_t& scan_budget) {
    if (--scan_budget < 0) return fail(ERROR_INFINITE_FORMAT);
    if (repeat_pending && depth >= 0) {
      repeat_entry& top = repeat_stack[static_cast<std::size_t>(depth)];
      index = top.index;
      const std::int32_t code = top.code;
      if (top.remaining-- <= 1) {
        --depth;
        repeat_pending = false;
      }
      return code;
    }
    repeat_pending = false;
    std::int32_t code = 0;
    if (const std::int32_t fault = read_word(code); fault != 0) return fail(fault);
    std::int32_t repeat = 1;
    if (code >= 0) {
      --index;  // the word was the flag of the count's operand pair
      if (const std::int32_t fault = read_operand(repeat); fault != 0) return fail(fault);
      if (const std::int32_t fault = read_word(code); fault != 0) return fail(fault);
    }
    if (repeat == 1) return code;
    if (repeat < 1) return fail(ERROR_REPEAT_COUNT);
    if (depth + 1 >= repeat_stack_size) return fail(ERROR_NESTING);
    repeat_stack[static_cast<std::size_t>(++depth)] = {repeat - 1, code, index};
    // A group's entry waits for its group end; anything else is handed out again at once.
    if (code != FORMAT_GROUP) repeat_pending = true;
    return code;
  }

  // The fault behind the FORMAT_ERROR just returned: 234 when the word was written into the
  // format itself and no fetch failed.
  std::int32_t take_error() {
    const std::int32_t code = error;
    error = 0;
    return code != 0 ? code : ERROR_INVALID_EDIT;
  }

  // The operands of a data descriptor whose code next_code gave.
  std::int32_t read_descriptor(std::int32_t code, written_edit& d) {
    d = {code, false, 0, 0, 0, false};
    if (code <= FORMAT_A && code >= FORMAT_Z) {
      d.code = bare_with_operands[static_cast<std::size_t>(FORMAT_A - code)];
      d.bare = true;
      return 0;
    }
    const bool two_operands = code != FORMAT_A_W && code != FORMAT_L_W;
    if (two_operands && words_left(4) && format[index] == 0 && format[index + 2] == 0) {
      // w and d both written as values, the usual case: four words with one bound check.
      d.width = std::max(format[index + 1], 0);
      d.digits = format[index + 3];
      index += 4;
    } else {
      if (const std::int32_t fault = read_operand(d.width); fault != 0) return fault;
      d.width = std::max(d.width, 0);
      if (!two_operands) return 0;
      if (const std::int32_t fault = read_operand(d.digits); fault != 0) return fault;
    }
    if (code != FORMAT_E_W && code != FORMAT_EN_W && code != FORMAT_ES_W && code != FORMAT_G_W) {
      return 0;
    }
    if (words_left(1) && format[index] == FORMAT_EXPONENT_WIDTH) {
      ++index;
      d.exponent_given = true;
      return read_operand(d.exponent);
    }
    return 0;
  }

  // The end marker is the next code, with no repeat pending: a statement's end that finds it
  // has nothing to scan (a format after its last data edit, the usual case).
  bool at_end_marker() const {
    return !repeat_pending && words_left(2) && format[index] == FORMAT_END;
  }

  // Passes over the operands of the descriptor `code` (next_code's) when they are written as
  // the values `width` and `digits` (two value pairs; for E, EN, ES and G with no exponent
  // width after them), as read_descriptor would read them: a reader that decided that
  // descriptor before knows it again without decoding it. False, and nothing read, otherwise.
  bool take_operands_if(std::int32_t code, std::int32_t width, std::int32_t digits) {
    if (!words_left(4) || format[index] != 0 || format[index + 1] != width ||
        format[index + 2] != 0 || format[index + 3] != digits) {
      return false;
    }
    const bool exponent_may_follow =
        code == FORMAT_E_W || code == FORMAT_EN_W || code == FORMAT_ES_W || code == FORMAT_G_W;
    if (exponent_may_follow && words_left(5) && format[index + 4] == FORMAT_EXPONENT_WIDTH) {
      return false;
    }
    index += 4;
    return true;
  }

  // After FORMAT_END: the reversion index, checked. Nothing past the end marker is part of
  // the format, and reversion only goes back.
  std::int32_t read_end_marker(std::int32_t& reversion) {
    if (const std::int32_t fault = read_word(reversion); fault != 0) return fault;
    word_limit = std::min(word_limit, index);
    if (reversion < 0 || static_cast<std::size_t>(reversion) >= index - 1) return ERROR_INVALID_EDIT;
    return 0;
  }

  // After FORMAT_GROUP_END: back to the group's first word while its repeat lasts.
  std::int32_t group_end() {
    std::int32_t first = 0;
    if (const std::int32_t fault = read_word(first); fault != 0) return fault;
    if (depth < 0 || first < 0 ||
        repeat_stack[static_cast<std::size_t>(depth)].index != static_cast<std::size_t>(first)) {
      return 0;
    }
    // An index the scan has already passed.
    repeat_entry& top = repeat_stack[static_cast<std::size_t>(depth)];
    index = top.index;
    if (top.remaining-- <= 1) {
      --depth;
      repeat_pending = false;
    }
    return 0;
  }

  // After FORMAT_LITERAL or FORMAT_LITERAL2: the text, or its fault. A group end may return
  // to an index past the limit that a later end marker set.
  std::int32_t read_literal(const char*& text, std::size_t& length) {
    std::int32_t count = 0;
    if (const std::int32_t fault = read_word(count); fault != 0) return fault;
    const auto words = (static_cast<std::size_t>(count) + 3) / 4;
    if (count < 0 || !words_left(words)) return ERROR_INVALID_EDIT;
    text = reinterpret_cast<const char*>(format + index);
    length = static_cast<std::size_t>(count);
    index += words;
    return 0;
  }

  // kP: the factor, checked against its range.
  std::int32_t read_scale(std::int32_t& scale) {
    std::int32_t k = 0;
    if (const std::int32_t fault = read_operand(k); fault != 0) return fault;
    if (k < -128 || k > 127) return ERROR_SCALE_FACTOR;
    scale = k;
    return 0;
  }

  // Tn, TLn, TRn, nX: n, which must be at least 1.
  std::int32_t read_tab(std::int32_t& n) {
    if (const std::int32_t fault = read_operand(n); fault != 0) return fault;
    return n <= 0 ? ERROR_TAB_RANGE : 0;
  }

 private:
  std::int32_t fail(std::int32_t code) {
    error = code;
    return FORMAT_ERROR;
  }
};

}  // namespace io

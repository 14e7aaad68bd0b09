// Fuzz target for format texts compiled at run time. The input's head chooses a statement
// (items, the variable's records), its rest is the text, held in a buffer of exactly its
// size so a read past it is caught. The compiler is one function at build time and at run
// time, so instead of comparing the two: compiling twice gives the same result, the sizing
// pass agrees with the filling one, the statement's cache hands out the words of a fresh
// compile (also on a hit), a fault becomes one of the text fault codes, and an internal
// write of a few items under an accepted text keeps its statuses in their set and writes
// nothing outside its variable.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "format_compiler.h"
#include "format_text.h"
#include "fuzz_input.h"
#include "record_io.h"

namespace {

using fuzz::check;

struct compiled {
  io::format_compile_result result;
  std::vector<std::int32_t> words;
};

compiled compile(std::string_view text) {
  const io::format_compile_result sized = io::try_compile_format(text);
  compiled out{sized, std::vector<std::int32_t>(sized.word_count)};
  out.result = io::try_compile_format(text, out.words);
  check(out.result.fault == sized.fault && out.result.offset == sized.offset &&
            out.result.word_count == sized.word_count,
        "the sizing pass and the filling pass disagree", text);
  check(out.result.fault != io::format_text_fault::FAULT_NONE || out.result.word_count >= 2,
        "accepted without its end marker", text);
  check(out.result.offset <= text.size(), "a fault offset past the text", text);
  return out;
}

constexpr std::int32_t text_fault_codes[] = {210, 221, 222, 223, 224, 226, 230, 240, 241, 243, 249, 250, 251};

// The format a statement would take for `text`, compared with a fresh compile.
void check_taken(std::string_view text, const compiled& fresh) {
  io::set_statement_format_text(text);
  const io::statement_format taken = io::take_statement_format(nullptr);
  if (fresh.result.fault != io::format_text_fault::FAULT_NONE) {
    check(taken.words == nullptr && std::find(std::begin(text_fault_codes), std::end(text_fault_codes),
                                              taken.error) != std::end(text_fault_codes),
          "a faulty text without its code", text);
    return;
  }
  check(taken.error == 0 && taken.word_limit == fresh.words.size() &&
            std::equal(fresh.words.begin(), fresh.words.end(), taken.words),
        "the cache's words differ from a fresh compile", text);
}

void check_status(std::int32_t status, std::int32_t iostat) {
  check(status >= 0 && status <= 3, "status outside 0..3");
  if (status == 0) check(iostat == 0, "success with a non-zero iostat");
  if (status == 1) check(iostat > 0, "error without its code");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::fuzz_input input{data, size};
  const std::int32_t items = input.byte() % 5;
  const std::int32_t record_length = input.byte() % 40;
  const std::int32_t record_count = input.byte() % 4;
  std::vector<std::uint64_t> values;
  std::vector<std::int32_t> types;
  constexpr std::int32_t item_types[] = {TYPE_REAL4, TYPE_REAL8, TYPE_INTEGER4, TYPE_CHARACTER, TYPE_LOGICAL4};
  for (std::int32_t i = 0; i < items; ++i) {
    types.push_back(item_types[input.byte() % std::size(item_types)]);
    values.push_back(input.bits<std::uint64_t>());
  }
  const std::string_view rest = input.rest();
  const std::vector<char> owned(rest.begin(), rest.end());
  const std::string_view text{owned.data(), owned.size()};

  const compiled first = compile(text);
  const compiled second = compile(text);
  check(first.result.fault == second.result.fault && first.result.offset == second.result.offset &&
            first.words == second.words,
        "two compiles of one text differ", text);
  check_taken(text, first);
  check_taken(text, first);  // now from the cache

  if (first.result.fault != io::format_text_fault::FAULT_NONE) return 0;
  // Exactly the variable's bytes, and a guard each side that must stay as it was.
  constexpr char guard = '\x5A';
  const auto bytes = static_cast<std::size_t>(record_length * record_count);
  std::vector<char> storage(bytes + 32, guard);
  char* variable = storage.data() + 16;
  const std::int32_t flags = SPECIFIER_IOSTAT;
  std::int32_t iostat = 0;
  io_set_format_text(owned.data(), static_cast<std::int32_t>(owned.size()));
  std::int32_t status = fmt_internal_write_begin(variable, &record_count, &flags, &iostat, nullptr, record_length);
  check_status(status, iostat);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::int32_t one = 1, stride = 0;
    const std::int32_t length = types[i] == TYPE_CHARACTER ? 8 : 0;
    const std::int32_t item_status = fmt_write_item(&types[i], &one, &stride, &values[i], length);
    check_status(item_status, iostat);
    if (status != 0) check(item_status == status, "item call after a failure", text);
    status = status != 0 ? status : item_status;
  }
  check_status(fmt_write_end(), iostat);
  for (std::size_t i = 0; i < 16; ++i)
    check(storage[i] == guard && storage[16 + bytes + i] == guard, "written outside the variable", text);
  return 0;
}

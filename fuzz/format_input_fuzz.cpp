// Fuzz target for formatted input: format words and record bytes both come from the input, and
// statements read items of input-chosen types, counts, strides and lengths from an internal
// file and from an external file (PAD YES or NO, BLANK=, DECIMAL=, advancing or not, with
// SIZE=). Every status must stay in {0, 1, 2, 3} and agree with the iostat value, a failed
// statement must stay failed, no item may be written outside its own bytes, and SIZE= never
// counts more characters than the file holds unless T or TL went back over some.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "format_input.h"
#include "fuzz_input.h"
#include "item_reads.h"
#include "record_io.h"

namespace {

using namespace fuzz;

constexpr std::int32_t iostat_flag = 0x01;
constexpr std::int32_t external_unit = 11;
constexpr item_type item_types[] = {
    {TYPE_COMPLEX8, 8}, {TYPE_COMPLEX16, 16}, {TYPE_CHARACTER, 0}, {TYPE_LOGICAL1, 1},
    {TYPE_LOGICAL2, 2}, {TYPE_LOGICAL4, 4},   {TYPE_LOGICAL8, 8},  {TYPE_WORD4, 4},
    {TYPE_WORD8, 8},    {TYPE_INTEGER2, 2},   {TYPE_INTEGER4, 4},  {TYPE_INTEGER8, 8},
    {TYPE_REAL4, 4},    {TYPE_REAL8, 8},      {TYPE_REAL16, 8},    {TYPE_COMPLEX32, 16},
    {31, 16},           {TYPE_INTEGER1, 1},   {0, 8},              {99, 8},
    {TYPE_REAL4, 4},    {TYPE_INTEGER4, 4},   {TYPE_CHARACTER, 0},
};

// The pieces a format is built from: a code and how many operand pairs follow it.
struct piece {
  std::int32_t code;
  std::int32_t operands;
};
constexpr piece pieces[] = {
    {FORMAT_A_W, 1},  {FORMAT_L_W, 1},  {FORMAT_I_W, 2},  {FORMAT_F_W, 2},  {FORMAT_E_W, 2},
    {FORMAT_EN_W, 2}, {FORMAT_ES_W, 2}, {FORMAT_G_W, 2},  {FORMAT_D_W, 2},  {FORMAT_O_W, 2},
    {FORMAT_Z_W, 2},  {FORMAT_B_W, 2},  {FORMAT_A, 0},    {FORMAT_I, 0},    {FORMAT_F, 0},
    {FORMAT_T, 1},    {FORMAT_TL, 1},   {FORMAT_TR, 1},   {FORMAT_X, 1},    {FORMAT_SLASH, 0},
    {FORMAT_COLON, 0}, {FORMAT_SCALE, 1}, {FORMAT_NOP1, 0}, {FORMAT_NOP2, 0}, {FORMAT_DC, 0},
    {FORMAT_DP, 0},   {FORMAT_S, 0},    {FORMAT_DOLLAR, 0}, {FORMAT_SKIP_ITEM, 0},
    {FORMAT_GROUP, 0}, {FORMAT_GROUP_END, 0}, {FORMAT_LITERAL, 0}, {FORMAT_EXPONENT_WIDTH, 1},
};

// Mostly well-formed words, with now and then a repeat count, a raw word, or a stray operand.
std::vector<std::int32_t> read_format(fuzz::fuzz_input& input) {
  std::vector<std::int32_t> words;
  std::vector<std::size_t> groups;
  const std::int32_t count = input.in_range(0, 12);
  for (std::int32_t i = 0; i < count; ++i) {
    const std::uint8_t choice = input.byte();
    if (choice >= 250) {
      words.push_back(input.bits<std::int32_t>());
      continue;
    }
    if (choice >= 220) words.insert(words.end(), {0, input.in_range(-1, 4)});
    const piece p = pieces[choice % std::size(pieces)];
    if (p.code == FORMAT_GROUP) groups.push_back(words.size() + 1);
    words.push_back(p.code);
    if (p.code == FORMAT_GROUP_END) {
      words.push_back(groups.empty() ? input.in_range(-1, 8) : static_cast<std::int32_t>(groups.back()));
      if (!groups.empty()) groups.pop_back();
    }
    if (p.code == FORMAT_LITERAL) words.insert(words.end(), {input.in_range(-1, 6), 0x41414141, 0x42});
    for (std::int32_t k = 0; k < p.operands; ++k) {
      // Now and then a width far past any record, so padding and its limit come up.
      const std::uint8_t size = input.byte();
      const std::int32_t value = size < 240 ? input.in_range(-2, 30) : size < 252 ? input.in_range(0, 4000) : (1 << 24) + 1;
      words.insert(words.end(), {0, value});
    }
  }
  words.push_back(FORMAT_END);
  words.push_back(input.in_range(0, static_cast<std::int32_t>(words.size())));
  return words;
}

struct statement_plan {
  std::vector<item_request> items;
  bool non_advancing;
};

std::vector<statement_plan> read_plans(fuzz::fuzz_input& input) {
  std::vector<statement_plan> plans(static_cast<std::size_t>(input.in_range(1, 4)));
  for (auto& plan : plans) {
    plan.non_advancing = input.flag();
    const std::int32_t items = input.in_range(0, 4);
    for (std::int32_t i = 0; i < items; ++i) {
      item_request item{};
      item.type = item_types[input.byte() % std::size(item_types)];
      const std::uint8_t count = input.byte();
      item.count = count < 200 ? 1 + count % 3 : count < 230 ? 0 : count < 240 ? -1 : count % 12;
      item.length = input.in_range(0, 20);
      item.stride = element_size(item) + input.in_range(0, 3);
      plan.items.push_back(std::move(item));
    }
  }
  return plans;
}

// Runs the statements; `begin` starts one (non-advancing or not) and returns its status.
template <typename Begin>
void run_statements(std::vector<statement_plan> plans, std::int32_t& iostat, std::size_t file_bytes,
                    bool tabs_back, Begin begin) {
  for (auto& plan : plans) {
    std::int32_t size = -1;
    if (plan.non_advancing) io_set_size(&size);
    std::int32_t status = begin(plan.non_advancing);
    check_status(status, iostat);
    const std::int32_t failed = status;
    for (auto& item : plan.items) {
      prepare_storage(item);
      const std::int32_t item_status =
          fmt_read_item(&item.type.code, &item.count, &item.stride, item.storage.data(), item.length);
      check_status(item_status, iostat);
      if (failed != 0) check(item_status == failed, "item call after a failed begin");
      if (status == 0) status = item_status;
      else check(item_status == status, "item call after a failed item");
      check_gaps(item);
    }
    const std::int32_t end = fmt_read_end();
    check_status(end, iostat);
    if (status != 0) check(end == status, "end after a failed item");
    if (plan.non_advancing) {
      check(size >= 0, "SIZE= below 0");
      check(tabs_back || static_cast<std::size_t>(size) <= file_bytes, "SIZE= past the file's bytes");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::fuzz_input input{data, size};
  const std::int32_t record_length = input.in_range(0, 60);
  const bool pad_no = input.flag();
  const bool blank_zero = input.flag();
  const bool decimal_comma = input.flag();
  const std::int32_t slack_records = input.in_range(0, 2);
  const std::vector<std::int32_t> format = read_format(input);
  const std::vector<statement_plan> plans = read_plans(input);
  const std::string_view records = input.rest();
  const std::int32_t flags = iostat_flag;
  std::int32_t iostat = 0;
  const std::span<const std::int32_t> words{format};
  const bool tabs_back = std::any_of(format.begin(), format.end(),
                                     [](std::int32_t w) { return w == FORMAT_T || w == FORMAT_TL; });

  // The internal file: the bytes cut into records of one length, the last one blank-padded.
  {
    internal_file file = cut_into_records(records, record_length);
    std::vector<char>& variable = file.variable;
    const std::int32_t record_count = std::max(file.records - slack_records, 0);
    run_statements(plans, iostat, variable.size(), tabs_back, [&](bool) {
      return io::fmt_internal_read_begin(variable.data(), record_count, flags, &iostat, words, record_length);
    });
  }

  // The external file: the same bytes read through a unit with the connection's modes.
  {
    const std::string name = write_external_file("format_input_fuzz", records);
    const std::int32_t unit = external_unit;
    const std::string_view pad = pad_no ? "NO" : "YES";
    const std::string_view blank = blank_zero ? "ZERO" : "NULL";
    std::int32_t open_status =
        open_unit(&unit, &flags, nullptr, "READ", blank.data(), nullptr, name.data(), nullptr, &iostat,
                  pad.data(), nullptr, nullptr, "OLD", nullptr, 0, 4, static_cast<std::int32_t>(blank.size()), 0,
                  static_cast<std::int32_t>(name.size()), 0, static_cast<std::int32_t>(pad.size()), 0, 3, 0);
    check(open_status == 0, "OPEN of the external file", name);
    if (decimal_comma) {
      open_status = open_extended_specifiers(&open_status, "COMMA", nullptr, nullptr, nullptr, 5, 0, 0, 0);
      check_status(open_status, iostat);
    }
    run_statements(plans, iostat, records.size(), tabs_back, [&](bool non_advancing) {
      return io::fmt_read_begin(unit, nullptr, flags, &iostat, words,
                                non_advancing ? std::optional<std::string_view>{"NO"} : std::nullopt);
    });
    const std::int32_t closed = close_unit(&unit, &flags, &iostat, nullptr, 0);
    check(closed == 0, "CLOSE of the external file");
    std::remove(name.c_str());
  }
  return 0;
}

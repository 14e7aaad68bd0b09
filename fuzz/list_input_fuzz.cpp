// Fuzz target for free-form input: the input's bytes become the records of an internal file
// and of an external file read through a unit, and statements read items whose type codes,
// counts, strides and character lengths come from the input too. Errors come back as
// codes (IOSTAT=), so every status must stay in {0, 1, 2, 3} and agree with the iostat
// value, and no item may be written outside its own bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "item_reads.h"
#include "record_io.h"

namespace {

using namespace fuzz;

constexpr std::int32_t iostat_flag = 0x01;
constexpr std::int32_t external_unit = 10;
// Every code the reader knows, some it does not, and the wide character (4 bytes a character
// at most, whatever the reader makes of it).
constexpr item_type item_types[] = {
    {TYPE_COMPLEX8, 8},  {TYPE_COMPLEX16, 16}, {TYPE_CHARACTER, 0}, {TYPE_LOGICAL1, 1},
    {TYPE_LOGICAL2, 2},  {TYPE_LOGICAL4, 4},   {TYPE_LOGICAL8, 8},  {TYPE_WORD4, 4},
    {TYPE_WORD8, 8},     {23, 0},              {TYPE_INTEGER2, 2},  {TYPE_INTEGER4, 4},
    {TYPE_INTEGER8, 8},  {TYPE_REAL4, 4},      {TYPE_REAL8, 8},     {TYPE_REAL16, 8},
    {TYPE_COMPLEX32, 16}, {31, 16},            {TYPE_INTEGER1, 1},  {0, 8},
    {99, 8},             {-5, 8},              {TYPE_INTEGER4, 4},  {TYPE_REAL4, 4},
};

struct statement_plan {
  std::vector<item_request> items;
};

std::vector<statement_plan> read_plans(fuzz::fuzz_input& input) {
  std::vector<statement_plan> plans(static_cast<std::size_t>(input.in_range(1, 4)));
  for (auto& plan : plans) {
    const std::int32_t items = input.in_range(0, 5);
    for (std::int32_t i = 0; i < items; ++i) {
      item_request item{};
      item.type = item_types[input.byte() % std::size(item_types)];
      const std::uint8_t count = input.byte();
      // Mostly one to three elements; now and then none, a negative count or many.
      item.count = count < 200 ? 1 + count % 3 : count < 230 ? 0 : count < 240 ? -1 : count;
      item.length = input.in_range(0, 40);
      item.stride = element_size(item) + input.in_range(0, 3);
      plan.items.push_back(std::move(item));
    }
  }
  return plans;
}

// Runs the statements; `begin` starts one and returns its status.
template <typename Begin>
void run_statements(std::vector<statement_plan> plans, std::int32_t& iostat, Begin begin) {
  for (auto& plan : plans) {
    std::int32_t status = begin();
    check_status(status, iostat);
    const std::int32_t failed = status;
    for (auto& item : plan.items) {
      prepare_storage(item);
      const std::int32_t item_status = ld_read_item(&item.type.code, &item.count, &item.stride,
                                                    item.storage.data(), item.length);
      check_status(item_status, iostat);
      // A failed statement stays failed: later calls return the same status at once.
      if (failed != 0) check(item_status == failed, "item call after a failed begin");
      if (status == 0) status = item_status;
      else check(item_status == status, "item call after a failed item");
      check_gaps(item);
    }
    const std::int32_t end = ld_read_end();
    check_status(end, iostat);
    if (status != 0) check(end == status, "end after a failed item");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::fuzz_input input{data, size};
  const std::int32_t record_length = input.in_range(0, 80);
  const bool decimal_comma = input.flag();
  const std::int32_t slack_records = input.in_range(0, 2);
  const std::vector<statement_plan> plans = read_plans(input);
  const std::string_view records = input.rest();
  const std::int32_t flags = iostat_flag;
  std::int32_t iostat = 0;

  // The internal file: the bytes cut into records of one length, the last one blank-padded,
  // and the record count sometimes short of the variable.
  {
    internal_file file = cut_into_records(records, record_length);
    std::vector<char>& variable = file.variable;
    const std::int32_t record_count = std::max(file.records - slack_records, 0);
    run_statements(plans, iostat, [&] {
      return ld_internal_read_begin(variable.data(), &record_count, &flags, &iostat, record_length);
    });
  }

  // The external file: the same bytes read through a unit, in either decimal mode.
  {
    const std::string name = write_external_file("list_input_fuzz", records);
    const std::int32_t unit = external_unit;
    std::int32_t open_status = open_unit(&unit, &flags, nullptr, "READ", nullptr, nullptr, name.data(), nullptr,
                                         &iostat, nullptr, nullptr, nullptr, "OLD", nullptr, 0, 4, 0, 0,
                                         static_cast<std::int32_t>(name.size()), 0, 0, 0, 3, 0);
    check(open_status == 0, "OPEN of the external file", name);
    if (decimal_comma) {
      open_status = open_extended_specifiers(&open_status, "COMMA", nullptr, nullptr, nullptr, 5, 0, 0, 0);
      check_status(open_status, iostat);
    }
    run_statements(plans, iostat, [&] { return ld_read_begin(&unit, nullptr, &flags, &iostat); });
    const std::int32_t closed = close_unit(&unit, &flags, &iostat, nullptr, 0);
    check(closed == 0, "CLOSE of the external file");
    std::remove(name.c_str());
  }
  return 0;
}

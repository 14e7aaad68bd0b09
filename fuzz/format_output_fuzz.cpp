// Fuzz target for the compiled-format interpreter: formats built from the input as word
// arrays (well formed in their structure, since the interpreter gets no length, but with
// any operand values, repeat counts, codes and variable operands), and items drawn from the
// input, written to internal files of varying record lengths and counts and to an external
// unit. Errors come back as codes (IOSTAT=): every status must stay in {0, 1, 2, 3} and
// agree with the iostat value, and nothing may be written outside the internal file.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "item_reads.h"
#include "record_io.h"

namespace {

using fuzz::check;
using fuzz::check_status;
using fuzz::item_type;

constexpr std::int32_t iostat_flag = 0x01;
constexpr std::int32_t sequential_unit = 11;
constexpr std::int32_t direct_unit = 12;
constexpr std::string_view device = "/dev/null";

// Values the registered operand routines hand out; set from each input.
std::array<std::int32_t, 3> operand_values{};
template <std::size_t I>
std::int32_t operand_routine() {
  return operand_values[I];
}
// Indices the program registered; one past them stands for a routine never registered.
std::array<std::int32_t, 3> registered{};

// Builds a compiled format from the input: a tree of items, every literal's length true to
// its words and every index inside the array, everything else as the input says.
class format_builder {
 public:
  format_builder(fuzz::fuzz_input& input, bool bounded) : input_(input), bounded_(bounded) {}

  std::vector<std::int32_t> build() {
    std::vector<std::size_t> starts{0};
    const std::int32_t items = input_.in_range(0, 8);
    for (std::int32_t i = 0; i < items; ++i) {
      starts.push_back(words_.size());
      item(0);
    }
    words_.push_back(FORMAT_END);
    words_.push_back(static_cast<std::int32_t>(starts[input_.byte() % starts.size()]));
    return words_;
  }

 private:
  // An operand value: mostly small, sometimes negative or at the ends of the range. On an
  // external unit large ones only make long records, so they stay moderate there.
  std::int32_t value(bool width) {
    const std::uint8_t kind = input_.byte();
    if (kind < 200) return static_cast<std::int32_t>(input_.byte() % 40);
    if (kind < 225) return -static_cast<std::int32_t>(input_.byte() % 5);
    // Rare, since a huge repeat of a control edit runs until the interpreter's scan limit.
    if (kind < 250 || width || bounded_) return static_cast<std::int32_t>(input_.bits<std::uint16_t>() % 400);
    constexpr std::int32_t extremes[] = {std::numeric_limits<std::int32_t>::max(),
                                         std::numeric_limits<std::int32_t>::min(), 1 << 30, 127, 128, -128, -129};
    return extremes[input_.byte() % std::size(extremes)];
  }

  // An operand pair: the value itself, or a variable operand by routine index.
  void operand(bool width = false) {
    if (input_.byte() < 230) {
      words_.push_back(0);
      words_.push_back(value(width));
      return;
    }
    words_.push_back(1);
    words_.push_back(input_.byte() % 4 == 3 ? registered.back() + 1 : registered[input_.byte() % 3]);
  }

  void literal(std::int32_t code) {
    const std::string_view text = input_.take(input_.byte() % 12);
    words_.push_back(code);
    words_.push_back(static_cast<std::int32_t>(text.size()));
    for (std::size_t i = 0; i < text.size(); i += 4) {
      std::uint32_t word = 0;
      for (std::size_t k = 0; k < 4 && i + k < text.size(); ++k)
        word |= static_cast<std::uint32_t>(static_cast<unsigned char>(text[i + k])) << (8 * k);
      words_.push_back(static_cast<std::int32_t>(word));
    }
  }

  void item(std::int32_t depth) {
    // A repeat count may stand before anything; the interpreter decides what it means.
    if (input_.byte() < 40) operand();
    const std::uint8_t choice = input_.byte() % 24;
    switch (choice) {
      case 0: literal(FORMAT_LITERAL); break;
      case 1: literal(FORMAT_LITERAL2); break;
      case 2: words_.push_back(FORMAT_SCALE); operand(); break;
      case 3: words_.push_back(FORMAT_T - static_cast<std::int32_t>(input_.byte() % 4)); operand(); break;
      case 4: {
        constexpr std::int32_t controls[] = {FORMAT_S, FORMAT_SP, FORMAT_SS, FORMAT_NOP1, FORMAT_NOP2,
                                             FORMAT_SLASH, FORMAT_COLON, FORMAT_SKIP_ITEM, FORMAT_DOLLAR,
                                             FORMAT_DC, FORMAT_DP};
        words_.push_back(controls[input_.byte() % std::size(controls)]);
        break;
      }
      case 5: case 6:
        words_.push_back(input_.flag() ? FORMAT_A_W : FORMAT_L_W);
        operand(true);
        break;
      case 7: case 8: {
        constexpr std::int32_t codes[] = {FORMAT_I_W, FORMAT_Z_W, FORMAT_O_W, FORMAT_B_W};
        words_.push_back(codes[input_.byte() % std::size(codes)]);
        operand(true);
        operand();
        break;
      }
      case 9: case 10:
        words_.push_back(input_.flag() ? FORMAT_F_W : FORMAT_D_W);
        operand(true);
        operand();
        break;
      case 11: case 12: {
        words_.push_back(FORMAT_E_W - static_cast<std::int32_t>(input_.byte() % 4));
        operand(true);
        operand();
        if (input_.flag()) {
          words_.push_back(FORMAT_EXPONENT_WIDTH);
          operand();
        }
        break;
      }
      case 13: case 14:
        words_.push_back(FORMAT_A - static_cast<std::int32_t>(input_.byte() % 9));
        break;
      case 15: case 16: case 17:
        if (depth < 6) {
          words_.push_back(FORMAT_GROUP);
          const auto first = static_cast<std::int32_t>(words_.size());
          const std::int32_t inner = input_.in_range(0, 4);
          for (std::int32_t i = 0; i < inner; ++i) item(depth + 1);
          words_.push_back(FORMAT_GROUP_END);
          // Now and then an index that matches no open group.
          words_.push_back(input_.byte() < 240 ? first : input_.in_range(0, first));
        }
        break;
      case 18: {
        // Codes no descriptor makes.
        constexpr std::int32_t invalid[] = {FORMAT_EXPONENT_WIDTH, FORMAT_INVALID1, FORMAT_INVALID2,
                                            FORMAT_ERROR, -47, -1000};
        const std::int32_t code = invalid[input_.byte() % std::size(invalid)];
        words_.push_back(code);
        // After an E, EN, ES or G descriptor a lone exponent marker reads as that
        // descriptor's exponent width: give it its operand pair so the words mean one thing.
        if (code == FORMAT_EXPONENT_WIDTH) operand();
        break;
      }
      default: {
        // The data descriptors the programs use most, with ordinary operands.
        words_.push_back(FORMAT_F_W);
        words_.push_back(0);
        words_.push_back(input_.in_range(0, 12));
        words_.push_back(0);
        words_.push_back(input_.in_range(0, 4));
        break;
      }
    }
  }

  fuzz::fuzz_input& input_;
  bool bounded_;
  std::vector<std::int32_t> words_;
};

constexpr item_type item_types[] = {
    {TYPE_COMPLEX8, 8},  {TYPE_COMPLEX16, 16}, {TYPE_CHARACTER, 0}, {TYPE_LOGICAL1, 1},
    {TYPE_LOGICAL2, 2},  {TYPE_LOGICAL4, 4},   {TYPE_LOGICAL8, 8},  {TYPE_WORD4, 4},
    {TYPE_WORD8, 8},     {TYPE_INTEGER2, 2},   {TYPE_INTEGER4, 4},  {TYPE_INTEGER8, 8},
    {TYPE_REAL4, 4},     {TYPE_REAL8, 8},      {TYPE_REAL16, 16},   {TYPE_COMPLEX32, 32},
    {TYPE_INTEGER1, 1},  {23, 8},              {31, 16},            {0, 8},
    {TYPE_REAL4, 4},     {TYPE_REAL8, 8},      {TYPE_INTEGER4, 4},
};

// What may travel by value in one 32-bit word.
constexpr std::int32_t scalar_types[] = {TYPE_INTEGER4, TYPE_REAL4, TYPE_LOGICAL4, TYPE_WORD4, TYPE_INTEGER2,
                                         TYPE_INTEGER1, TYPE_LOGICAL1, TYPE_LOGICAL2, TYPE_CHARACTER};

// The statement's items, each from its own exactly sized copy of input bytes.
void write_items(fuzz::fuzz_input& input, std::int32_t& iostat, std::int32_t begin_status) {
  std::int32_t status = begin_status;
  const std::int32_t calls = input.in_range(0, 6);
  for (std::int32_t call = 0; call < calls; ++call) {
    std::int32_t item_status = 0;
    const std::uint8_t how = input.byte() % 8;
    if (how == 0) {
      item_status = fmt_write_scalar(input.bits<std::uint32_t>(), scalar_types[input.byte() % std::size(scalar_types)]);
    } else if (how == 1) {
      item_status = fmt_write_complex8(input.bits<std::uint32_t>(), input.bits<std::uint32_t>());
    } else if (how == 2) {
      item_status = fmt_write_complex16(input.bits<double>(), input.bits<double>());
    } else {
      const item_type type = item_types[input.byte() % std::size(item_types)];
      const std::int32_t count = input.in_range(0, 3);
      const std::int32_t length = input.in_range(0, 30);
      const std::int32_t size = type.code == TYPE_CHARACTER ? length : type.size;
      const std::int32_t stride = size + input.in_range(0, 2);
      const std::size_t bytes = static_cast<std::size_t>(std::max((std::max(count, 1) - 1) * stride + size, 1));
      std::vector<unsigned char> storage(bytes);
      const std::string_view source = input.take(bytes);
      std::memcpy(storage.data(), source.data(), source.size());
      item_status = fmt_write_item(&type.code, &count, &stride, storage.data(), length);
    }
    check_status(item_status, iostat);
    if (status == 0) status = item_status;
    else check(item_status == status, "item call after a failure");
  }
  const std::int32_t end = fmt_write_end();
  check_status(end, iostat);
  if (status != 0) check(end == status, "end after a failure");
}

void register_operand_routines() {
  static bool done = false;
  if (done) return;
  done = true;
  registered = {fmt_register_operand(operand_routine<0>), fmt_register_operand(operand_routine<1>),
                fmt_register_operand(operand_routine<2>)};
}

std::int32_t open_device(std::int32_t unit, const char* access, const std::int32_t* recl) {
  const std::int32_t flags = iostat_flag;
  std::int32_t iostat = 0;
  return open_unit(&unit, &flags, access, "WRITE", nullptr, nullptr, device.data(), "FORMATTED", &iostat,
                   nullptr, nullptr, recl, nullptr, nullptr,
                   access != nullptr ? static_cast<std::int32_t>(std::strlen(access)) : 0, 5, 0, 0,
                   static_cast<std::int32_t>(device.size()), 9, 0, 0, 0, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  register_operand_routines();
  fuzz::fuzz_input input{data, size};
  const std::uint8_t target = input.byte() % 4;
  const bool internal = target < 2;
  for (auto& v : operand_values) v = static_cast<std::int32_t>(input.bits<std::int16_t>());
  if (!internal) {
    for (auto& v : operand_values) v = std::clamp(v, -5, 300);
  }
  const std::vector<std::int32_t> format = format_builder{input, !internal}.build();
  const std::int32_t flags = iostat_flag;
  std::int32_t iostat = 0;

  if (internal) {
    const std::int32_t record_length = input.in_range(0, 100);
    const std::int32_t record_count = input.in_range(0, 4);
    // Exactly the variable's bytes, so a write past its last record is caught.
    std::vector<char> variable(static_cast<std::size_t>(record_length * record_count) + 1);
    variable.pop_back();
    char* address = variable.empty() ? nullptr : variable.data();
    const std::int32_t begin = fmt_internal_write_begin(address, &record_count, &flags, &iostat, format.data(),
                                                        record_length);
    check_status(begin, iostat);
    write_items(input, iostat, begin);
  } else if (target == 2) {
    // A sequential unit, advancing or not.
    static bool connected = false;
    if (!connected) connected = open_device(sequential_unit, nullptr, nullptr) == 0;
    const std::int32_t unit = sequential_unit;
    const bool non_advancing = input.flag();
    const std::int32_t begin = fmt_write_begin(&unit, nullptr, &flags, &iostat, format.data(),
                                               non_advancing ? "NO" : "YES", non_advancing ? 2 : 3);
    check_status(begin, iostat);
    write_items(input, iostat, begin);
  } else {
    // A direct-access unit of the input's record length, at the input's record.
    const std::int32_t recl = input.in_range(-1, 120);
    const std::int32_t record = input.in_range(-1, 5);
    const std::int32_t unit = direct_unit;
    if (open_device(direct_unit, "DIRECT", &recl) == 0) {
      const std::int32_t begin = fmt_write_begin(&unit, &record, &flags, &iostat, format.data(), nullptr, 0);
      check_status(begin, iostat);
      write_items(input, iostat, begin);
      close_unit(&unit, &flags, &iostat, nullptr, 0);
    }
  }
  return 0;
}

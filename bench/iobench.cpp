// The I/O benchmark: records moved through the runtime's public statement calls, one
// statement per record, exactly as a compiled program makes them.
//   iobench <workload> <count> <path>
//   write-int, write-real   <count> free-form writes of one 32-bit integer / real to <path>
//   fmt-real                <count> writes under ("The total area is ", F5.2)
//   read-int, read-real     <count> free-form reads of one 32-bit integer / real from <path>;
//                           prints "sum S" with the checksum of the values read
//   fmt-read                <count> reads of the fmt-real file under (18X, F5.2) into a 32-bit
//                           real; prints "sum S" as read-real does
//   factor                  the prime-factor job on "Numbers.dat" and "Result.dat" in the
//                           current folder (<count> and <path> are not used)
// The values are those of the stdio baseline that ../shared/bench/compare runs beside it,
// which checks the written bytes and the checksums against the baseline's.
#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <source_location>
#include <string_view>

#include "format_compiler.h"
#include "prime_factors.h"
#include "values.h"
#include "record_io.h"
#include "runtime.h"

namespace {

constexpr std::int32_t zero = 0;
constexpr std::int32_t one = 1;
constexpr std::int32_t integer_type = TYPE_INTEGER4;
constexpr std::int32_t real_type = TYPE_REAL4;
constexpr std::int32_t text_type = TYPE_CHARACTER;
constexpr std::int32_t data_unit = 10;
constexpr std::int32_t numbers_unit = 12;
constexpr std::int32_t result_unit = 13;
constexpr std::string_view source_file = std::source_location::current().file_name();

// The statements' source lines, as a compiler would pass them.
constexpr std::int32_t open_line = 1;
constexpr std::int32_t write_line = 2;
constexpr std::int32_t read_line = 3;
constexpr std::int32_t number_record_line = 4;
constexpr std::int32_t factor_record_line = 5;

// Flag word 0 everywhere: the library reports errors and ends the run.
std::int32_t ignored_status = 0;

static constexpr auto total_format = io::compile_format<"('The total area is ', F5.2)">();
static constexpr auto area_format = io::compile_format<"(18X, F5.2)">();

using bench::fmt_value;
using bench::int_value;
using bench::real_value;

void source_position(const std::int32_t& line) {
  io_source_position(&line, source_file.data(), static_cast<std::int32_t>(source_file.size()));
}

// OPEN with FILE= alone, as primefac connects its files.
void open_file(const std::int32_t& unit, std::string_view name) {
  source_position(open_line);
  open_unit(&unit, &zero, nullptr, nullptr, nullptr, nullptr, name.data(), nullptr,
            &ignored_status, nullptr, nullptr, &zero, nullptr, nullptr, 0, 0, 0, 0,
            static_cast<std::int32_t>(name.size()), 0, 0, 0, 0, 0);
}

void write_scalar(const std::int32_t& line, const std::int32_t& unit, std::uint32_t word,
                  std::int32_t type) {
  source_position(line);
  ld_write_begin(&unit, nullptr, &zero, &ignored_status);
  ld_write_scalar(word, type);
  ld_write_end();
}

template <typename T>
T read_value(const std::int32_t& unit, const std::int32_t& type) {
  T value{};
  source_position(read_line);
  ld_read_begin(&unit, nullptr, &zero, &ignored_status);
  ld_read_item(&type, &one, &zero, &value, 0);
  ld_read_end();
  return value;
}

void write_ints(long count) {
  for (long i = 0; i < count; ++i) {
    write_scalar(write_line, data_unit, std::bit_cast<std::uint32_t>(int_value(i)), TYPE_INTEGER4);
  }
}

void write_reals(long count) {
  for (long i = 0; i < count; ++i) {
    write_scalar(write_line, data_unit, std::bit_cast<std::uint32_t>(real_value(i)), TYPE_REAL4);
  }
}

void write_formatted(long count) {
  for (long i = 0; i < count; ++i) {
    source_position(write_line);
    fmt_write_begin(&data_unit, nullptr, &zero, &ignored_status, total_format.data(), nullptr, 0);
    fmt_write_scalar(std::bit_cast<std::uint32_t>(fmt_value(i)), TYPE_REAL4);
    fmt_write_end();
  }
}

// The sum of the values as the baseline prints it: 64-bit, wrapping, shown signed.
void read_ints(long count) {
  std::uint64_t sum = 0;
  for (long i = 0; i < count; ++i) {
    sum += static_cast<std::uint64_t>(static_cast<std::int64_t>(read_value<std::int32_t>(data_unit, integer_type)));
  }
  std::printf("sum %lld\n", static_cast<long long>(sum));
}

void read_reals(long count) {
  std::uint64_t sum = 0;
  for (long i = 0; i < count; ++i) {
    sum += std::bit_cast<std::uint32_t>(read_value<float>(data_unit, real_type));
  }
  std::printf("sum %lld\n", static_cast<long long>(sum));
}

// The fmt-real file read back, the field after the text passed over.
void read_formatted(long count) {
  std::uint64_t sum = 0;
  for (long i = 0; i < count; ++i) {
    float value = 0.0f;
    source_position(read_line);
    fmt_read_begin(&data_unit, nullptr, &zero, &ignored_status, area_format.data(), nullptr, 0);
    fmt_read_item(&real_type, &one, &zero, &value, 0);
    fmt_read_end();
    sum += std::bit_cast<std::uint32_t>(value);
  }
  std::printf("sum %lld\n", static_cast<long long>(sum));
}

// primefac's statements and its trial division: the number record, then one record per
// prime factor.
void factor() {
  constexpr std::string_view equals_text = " = ";
  open_file(numbers_unit, "Numbers.dat");
  open_file(result_unit, "Result.dat");
  // One variable for the run, as in primefac: a read that stores nothing leaves it as is.
  std::int32_t number = 0;
  for (;;) {
    source_position(read_line);
    ld_read_begin(&numbers_unit, nullptr, &zero, &ignored_status);
    ld_read_item(&integer_type, &one, &zero, &number, 0);
    ld_read_end();
    if (number == 0) return;
    source_position(number_record_line);
    ld_write_begin(&result_unit, nullptr, &zero, &ignored_status);
    ld_write_scalar(std::bit_cast<std::uint32_t>(number), TYPE_INTEGER4);
    ld_write_item(&text_type, &one, &zero, equals_text.data(),
                  static_cast<std::int32_t>(equals_text.size()));
    ld_write_end();
    primefac::divide_out_prime_factors(number, [](std::int32_t factor) {
      write_scalar(factor_record_line, result_unit, std::bit_cast<std::uint32_t>(factor),
                   TYPE_INTEGER4);
    });
  }
}

[[noreturn]] void usage() {
  std::fputs("usage: iobench write-int|write-real|fmt-real|read-int|read-real|fmt-read|factor count path\n",
             stderr);
  std::exit(2);
}

}  // namespace

extern "C" void MAIN_(int argc, char** argv, char**) {
  runtime_init(&zero);
  if (argc < 4) usage();
  const std::string_view workload = argv[1];
  const long count = std::atol(argv[2]);
  const std::string_view path = argv[3];
  if (workload == "factor") {
    factor();
    return;
  }
  open_file(data_unit, path);
  if (workload == "write-int") {
    write_ints(count);
  } else if (workload == "write-real") {
    write_reals(count);
  } else if (workload == "fmt-real") {
    write_formatted(count);
  } else if (workload == "read-int") {
    read_ints(count);
  } else if (workload == "read-real") {
    read_reals(count);
  } else if (workload == "fmt-read") {
    read_formatted(count);
  } else {
    usage();
  }
}

// The prime-factor program: reads whole numbers from "Numbers.dat" until a 0 and writes to
// "Result.dat" each number followed by its prime factors, one record each.
#include <bit>
#include <cstdint>
#include <source_location>
#include <string_view>

#include "prime_factors.h"
#include "record_io.h"
#include "runtime.h"

namespace {

constexpr std::int32_t zero = 0;
constexpr std::int32_t one = 1;
constexpr std::int32_t integer_type = TYPE_INTEGER4;
constexpr std::int32_t text_type = TYPE_CHARACTER;

constexpr std::int32_t numbers_unit = 12;
constexpr std::int32_t result_unit = 13;
constexpr std::string_view numbers_file = "Numbers.dat";
constexpr std::string_view result_file = "Result.dat";
constexpr std::string_view equals_text = " = ";

// The statements' source lines, which the error report quotes.
constexpr std::int32_t open_numbers_line = 4;
constexpr std::int32_t open_result_line = 5;
constexpr std::int32_t read_line = 7;
constexpr std::int32_t number_record_line = 11;
constexpr std::int32_t factor_record_line = 16;

// The error report names this file as the compiler was given it.
constexpr std::string_view source_file = std::source_location::current().file_name();

// Every statement has the flag word 0: the library reports its errors and ends the program,
// so this status is never stored and never read.
std::int32_t ignored_status = 0;

void source_position(const std::int32_t& line) {
  io_source_position(&line, source_file.data(), static_cast<std::int32_t>(source_file.size()));
}

// OPEN with FILE= alone: sequential, formatted, read and write, kept at the end.
void open_data_file(const std::int32_t& line, const std::int32_t& unit, std::string_view name) {
  source_position(line);
  open_unit(&unit, &zero, nullptr, nullptr, nullptr, nullptr, name.data(), nullptr, &ignored_status,
            nullptr, nullptr, &zero, nullptr, nullptr, 0, 0, 0, 0,
            static_cast<std::int32_t>(name.size()), 0, 0, 0, 0, 0);
}

// A value that is left out (a null value) leaves number as it was.
void read_number(std::int32_t& number) {
  source_position(read_line);
  ld_read_begin(&numbers_unit, nullptr, &zero, &ignored_status);
  ld_read_item(&integer_type, &one, &zero, &number, 0);
  ld_read_end();
}

void write_number_record(std::int32_t number) {
  source_position(number_record_line);
  ld_write_begin(&result_unit, nullptr, &zero, &ignored_status);
  ld_write_scalar(std::bit_cast<std::uint32_t>(number), TYPE_INTEGER4);
  ld_write_item(&text_type, &one, &zero, equals_text.data(),
                static_cast<std::int32_t>(equals_text.size()));
  ld_write_end();
}

void write_factor_record(std::int32_t factor) {
  source_position(factor_record_line);
  ld_write_begin(&result_unit, nullptr, &zero, &ignored_status);
  ld_write_scalar(std::bit_cast<std::uint32_t>(factor), TYPE_INTEGER4);
  ld_write_end();
}

}  // namespace

// Neither unit is closed here: the normal end closes both and so flushes "Result.dat".
extern "C" void MAIN_(int, char**, char**) {
  runtime_init(&zero);
  open_data_file(open_numbers_line, numbers_unit, numbers_file);
  open_data_file(open_result_line, result_unit, result_file);
  // One variable for the whole run, zero before the first read. A read that stores nothing
  // (a null value, a slash) leaves what the factoring left in it: 1 after a number of 2 or
  // more, the number itself below 2.
  std::int32_t number = 0;
  for (;;) {
    read_number(number);
    if (number == 0) return;
    write_number_record(number);
    primefac::divide_out_prime_factors(number, write_factor_record);
  }
}

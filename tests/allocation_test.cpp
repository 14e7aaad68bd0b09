// Statements in the steady state allocate nothing: every buffer is kept and only grows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "format_compiler.h"
#include "process_runner.h"
#include "record_io.h"

#include "counting_new.h"

namespace {

const int32_t zero = 0, one = 1, text_type = TYPE_CHARACTER, integer_type = TYPE_INTEGER4,
              real_type = TYPE_REAL4;

void write_statement(int32_t unit, int32_t line, int32_t value) {
  static const char text[] = "value";
  io_source_position(&line, "allocation_test.cpp", 19);
  ld_write_begin(&unit, nullptr, &zero, nullptr);
  ld_write_item(&text_type, &one, &zero, text, 5);
  ld_write_scalar(static_cast<uint32_t>(value), integer_type);
  ld_write_scalar(0x3F000000u, real_type);
  ld_write_end();
}

constexpr auto file_format = io::compile_format<"('The total area is ', F5.2, I5, A, ES12.3)">();
constexpr auto tail_format = io::compile_format<"('abcdef', TL3)">();
constexpr auto internal_format = io::compile_format<"(2(E12.4E3, Z9, A4)/)">();

// An advancing, a non-advancing and an internal formatted write.
void formatted_statements(int32_t unit, int32_t line) {
  const int32_t two = 2;
  io_source_position(&line, "allocation_test.cpp", 19);
  fmt_write_begin(&unit, nullptr, &zero, nullptr, file_format.data(), nullptr, 0);
  fmt_write_scalar(0x414584F4u, TYPE_REAL4);  // 12.345
  fmt_write_scalar(42, TYPE_INTEGER4);
  fmt_write_item(&text_type, &one, &zero, "abc", 3);
  fmt_write_end();
  fmt_write_begin(&unit, nullptr, &zero, nullptr, tail_format.data(), "NO", 2);
  fmt_write_end();
  char variable[64];
  fmt_internal_write_begin(variable, &two, &zero, nullptr, internal_format.data(), 32);
  fmt_write_scalar(0x414584F4u, TYPE_REAL4);
  fmt_write_scalar(42, TYPE_INTEGER4);
  fmt_write_item(&text_type, &one, &zero, "abc", 3);
  fmt_write_end();
}

void read_statement(int32_t unit, int32_t line) {
  int32_t value = 0;
  float real = 0;
  io_source_position(&line, "allocation_test.cpp", 19);
  ld_read_begin(&unit, nullptr, &zero, nullptr);
  ld_read_item(&integer_type, &one, &zero, &value, 0);
  ld_read_item(&real_type, &one, &zero, &real, 0);
  ld_read_end();
}

TEST(steady_state, allocates_nothing_per_statement) {
  test::temp_dir dir;
  std::string data;
  for (int i = 0; i < 2000; ++i) data += std::to_string(i) + " 0.5\r\n";
  dir.write("in.txt", data);
  const std::string in_name = (dir / "in.txt").string(), out_name = (dir / "out.txt").string();
  const int32_t in_unit = 30, out_unit = 31;
  int32_t iostat = 0;
  ASSERT_EQ(open_unit(&in_unit, &zero, nullptr, nullptr, nullptr, nullptr, in_name.data(), nullptr,
                      &iostat, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 0,
                      static_cast<int32_t>(in_name.size()), 0, 0, 0, 0, 0),
            0);
  ASSERT_EQ(open_unit(&out_unit, &zero, nullptr, nullptr, nullptr, nullptr, out_name.data(), nullptr,
                      &iostat, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 0,
                      static_cast<int32_t>(out_name.size()), 0, 0, 0, 0, 0),
            0);
  for (int i = 0; i < 100; ++i) {
    write_statement(out_unit, i, i);
    formatted_statements(out_unit, i);
    read_statement(in_unit, i);
  }
  const std::size_t before = allocations;
  for (int i = 100; i < 2000; ++i) {
    write_statement(out_unit, i, i);
    formatted_statements(out_unit, i);
    read_statement(in_unit, i);
  }
  EXPECT_EQ(allocations, before);
  close_unit(&in_unit, &zero, nullptr, nullptr, 0);
  close_unit(&out_unit, &zero, nullptr, nullptr, 0);
}

}  // namespace

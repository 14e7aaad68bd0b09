// Formatted writes in the steady state: counts the allocations of a thousand statements of
// each kind after fifty to warm up, and prints the count.
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "record_io.h"
#include "runtime.h"

namespace {
std::size_t allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr auto file_format = io::compile_format<"('The total area is ', F5.2, I5, A, ES12.3)">();
constexpr auto tail_format = io::compile_format<"('abcdef', TL3)">();
constexpr auto internal_format = io::compile_format<"(2(E12.4E3, Z9, A4)/)">();

const std::int32_t unit = 20, zero = 0, one = 1, two = 2, text_type = TYPE_CHARACTER;
constexpr char source_file[] = "fmt_steady.f";

void statements(std::int32_t line) {
  io_source_position(&line, source_file, sizeof source_file - 1);
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

}  // namespace

extern "C" void MAIN_(int, char**, char**) {
  runtime_init(&zero);
  for (std::int32_t line = 0; line < 50; ++line) statements(line);
  const std::size_t before = allocations;
  for (std::int32_t line = 50; line < 1050; ++line) statements(line);
  std::printf("allocations in steady state: %zu\n", allocations - before);
}

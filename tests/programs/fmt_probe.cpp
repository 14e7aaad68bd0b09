// A program that performs the formatted writes its arguments name, for end-to-end tests.
//   f<flags>                       flag word of the statements that follow
//   l<line>                        source line of the statements that follow
//   w<unit>:<format>:<items>       formatted write; items are comma-separated, each a
//   n<unit>:<format>:<items>       letter and a value: i (32-bit integer), r (32-bit real),
//                                  d (64-bit real), a (text); "n" writes non-advancing
// The formats are named in the table below. After each statement with a non-zero status it
// prints "status=S iostat=I" on stdout.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "format_compiler.h"
#include "record_io.h"
#include "runtime.h"

namespace {

struct named_format {
  std::string_view name;
  std::span<const std::int32_t> words;
};

constexpr auto total_format = io::compile_format<"('The total area is ', F5.2)">();
constexpr auto integer_format = io::compile_format<"(I5)">();
constexpr auto fixed_format = io::compile_format<"(F8.3)">();
constexpr auto bare_integer_format = io::compile_format<"(I)">();
constexpr auto logical_format = io::compile_format<"(L2)">();
constexpr auto text_format = io::compile_format<"(A)">();
constexpr auto dollar_format = io::compile_format<"(A, $)">();
constexpr auto pair_format = io::compile_format<"(I3, 'x')">();
constexpr auto bad_scale_format = io::compile_format<"('[', 6PE12.4, ']')">();

constexpr named_format formats[] = {
    {"total", total_format},   {"i5", integer_format},      {"f8.3", fixed_format},
    {"i", bare_integer_format}, {"l2", logical_format},     {"a", text_format},
    {"a$", dollar_format},      {"i3x", pair_format},       {"6pe", bad_scale_format},
};

std::int32_t flags = 0;
std::int32_t line = 1;
constexpr std::string_view source_file = "fmt_probe.f";

std::span<const std::int32_t> find_format(std::string_view name) {
  for (const auto& f : formats) {
    if (f.name == name) return f.words;
  }
  std::fprintf(stderr, "no format %.*s\n", static_cast<int>(name.size()), name.data());
  std::exit(2);
}

// One item of the list; returns its status.
std::int32_t write_item(std::string_view item) {
  const std::string value(item.substr(1));
  const std::int32_t one = 1;
  switch (item[0]) {
    case 'i':
      return fmt_write_scalar(static_cast<std::uint32_t>(std::atoi(value.c_str())), TYPE_INTEGER4);
    case 'r': {
      const float real = std::strtof(value.c_str(), nullptr);
      std::uint32_t word = 0;
      std::memcpy(&word, &real, sizeof word);
      return fmt_write_scalar(word, TYPE_REAL4);
    }
    case 'd': {
      const double real = std::strtod(value.c_str(), nullptr);
      const std::int32_t type = TYPE_REAL8;
      return fmt_write_item(&type, &one, nullptr, &real, 0);
    }
    default: {
      const std::int32_t type = TYPE_CHARACTER;
      return fmt_write_item(&type, &one, nullptr, value.data(), static_cast<std::int32_t>(value.size()));
    }
  }
}

void run(std::string_view op) {
  const char kind = op[0];
  op.remove_prefix(1);
  if (kind == 'f' || kind == 'l') {
    (kind == 'f' ? flags : line) = std::atoi(std::string(op).c_str());
    return;
  }
  const std::size_t first = op.find(':');
  const std::size_t second = op.find(':', first + 1);
  const std::int32_t unit = std::atoi(std::string(op.substr(0, first)).c_str());
  const auto format = find_format(op.substr(first + 1, second - first - 1));
  std::string_view items = second == std::string_view::npos ? "" : op.substr(second + 1);
  std::int32_t iostat = 0;
  io_source_position(&line, source_file.data(), static_cast<std::int32_t>(source_file.size()));
  std::int32_t status = kind == 'n' ? fmt_write_begin(&unit, nullptr, &flags, &iostat, format.data(), "NO", 2)
                                    : fmt_write_begin(&unit, nullptr, &flags, &iostat, format.data(), nullptr, 0);
  while (!items.empty()) {
    const std::size_t comma = items.find(',');
    const std::int32_t item = write_item(items.substr(0, comma));
    if (status == 0) status = item;
    items = comma == std::string_view::npos ? "" : items.substr(comma + 1);
  }
  const std::int32_t end = fmt_write_end();
  if (status == 0) status = end;
  if (status != 0) std::printf("status=%d iostat=%d\n", status, iostat);
}

}  // namespace

extern "C" void MAIN_(int, char** argv, char**) {
  const std::int32_t zero = 0;
  runtime_init(&zero);
  for (char** arg = argv + 1; *arg != nullptr; ++arg) run(*arg);
}

// The polygon-area program: asks at the console for a polygon's vertices, prints the area of
// each triangle of the fan from vertex 1 as soon as it is complete, then the total.
#include <array>
#include <bit>
#include <cstdint>
#include <source_location>
#include <string_view>

#include "format_compiler.h"
#include "record_io.h"
#include "runtime.h"
#include "task5_area.h"

namespace {

// Run-time error reports quote this path, fixed when the program is built.
constexpr std::string_view source_file = std::source_location::current().file_name();

// Every statement passes its unit, counts and codes by reference, as references to constants.
constexpr std::int32_t console_input = 5;
constexpr std::int32_t console_output = 6;
constexpr std::int32_t no_specifiers = 0;
constexpr std::int32_t one_element = 1;
constexpr std::int32_t no_stride = 0;
constexpr std::int32_t text_item = TYPE_CHARACTER;
constexpr std::int32_t integer_item = TYPE_INTEGER4;
constexpr std::int32_t real_item = TYPE_REAL4;
// Stands in for a status variable; with no IOSTAT= the library never stores into it.
std::int32_t unused_status = 0;

constexpr std::string_view count_prompt = "Please input N >= 3:";
constexpr std::string_view vertex_prompt = "Please input x , y:";
static_assert(count_prompt.size() == 20 && vertex_prompt.size() == 19);

// The total's line: the literal, F with width 5 and 2 decimals, the end reverting to word 0.
constexpr auto total_format = io::compile_format<"('The total area is ', F5.2)">();
// Pinned word for word, since the total line depends on every one: the 18 bytes are packed
// four to a word, the first one lowest, with two zero bytes of padding.
static_assert(total_format.size() == 2 + (18 + 3) / 4 + 5 + 2);
static_assert(total_format == std::array<std::int32_t, 14>{
                                  FORMAT_LITERAL, 18, 0x20656854, 0x61746F74, 0x7261206C,
                                  0x69206165, 0x00002073, FORMAT_F_W, 0, 5, 0, 2, FORMAT_END, 0});

void source_position(std::int32_t line) {
  io_source_position(&line, source_file.data(), static_cast<std::int32_t>(source_file.size()));
}

// The program ignores every status: with no specifiers, the library reports each error
// itself and ends the program.
void prompt(std::int32_t line, std::string_view text) {
  source_position(line);
  ld_write_begin(&console_output, nullptr, &no_specifiers, &unused_status);
  ld_write_item(&text_item, &one_element, &no_stride, text.data(),
                static_cast<std::int32_t>(text.size()));
  ld_write_end();
}

void read_vertex(std::int32_t line, float& x, float& y) {
  source_position(line);
  ld_read_begin(&console_input, nullptr, &no_specifiers, &unused_status);
  ld_read_item(&real_item, &one_element, &no_stride, &x, 0);
  ld_read_item(&real_item, &one_element, &no_stride, &y, 0);
  ld_read_end();
}

}  // namespace

extern "C" void MAIN_(int, char**, char**) {
  static constexpr std::int32_t init_argument = 0;
  runtime_init(&init_argument);

  // Everything starts at zero: a null value or a slash leaves a variable unchanged, and
  // then it holds a defined value (a count of 0 simply asks again).
  std::int32_t n = 0;
  float x1 = 0.0f, y1 = 0.0f, x2 = 0.0f, y2 = 0.0f, x3 = 0.0f, y3 = 0.0f;

  // The number given to each statement is the source line its error report names.
  do {
    prompt(6, count_prompt);
    source_position(7);
    ld_read_begin(&console_input, nullptr, &no_specifiers, &unused_status);
    ld_read_item(&integer_item, &one_element, &no_stride, &n, 0);
    ld_read_end();
  } while (n <= 2);

  prompt(11, vertex_prompt);
  read_vertex(12, x1, y1);
  prompt(13, vertex_prompt);
  read_vertex(14, x2, y2);

  float total = 0.0f;
  // The trip count is fixed here, before the loop, at N - 2 >= 1.
  for (std::int32_t remaining = n - 2; remaining > 0; --remaining) {
    prompt(17, vertex_prompt);
    read_vertex(18, x3, y3);
    total = polyarea::task5_area(x1, y1, x2, y2, x3, y3) + total;

    // The printed area is a second evaluation, made between the begin and the item.
    source_position(20);
    ld_write_begin(&console_output, nullptr, &no_specifiers, &unused_status);
    ld_write_scalar(std::bit_cast<std::uint32_t>(polyarea::task5_area(x1, y1, x2, y2, x3, y3)),
                    real_item);
    ld_write_end();

    x2 = x3;
    y2 = y3;
  }

  source_position(24);
  fmt_write_begin(&console_output, nullptr, &no_specifiers, &unused_status, total_format.data(),
                  nullptr, 0);
  fmt_write_scalar(std::bit_cast<std::uint32_t>(total), real_item);
  fmt_write_end();
}

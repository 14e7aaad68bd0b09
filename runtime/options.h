// The runtime options: where they are found, how their values are read, what they set.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace runtime {

// What the options set at start-up; every field keeps its initial value without options.
struct runtime_settings {
  std::int32_t processor_count = 1;
  std::int32_t test_level = 0;
  std::int32_t debug_flag = 0;
  std::int32_t debug_processor = 0;
  std::int32_t statistics_flags = 0;
  std::int32_t zero_memory_flag = 0;
  std::int32_t trace_flag = 0;
  bool operator==(const runtime_settings&) const = default;
};
const runtime_settings& settings();

// "-stat" items and "-prof" values, ORed into `statistics_flags`.
inline constexpr std::int32_t STAT_CPU = 0x01;
inline constexpr std::int32_t STAT_CPUS = 0x02;
inline constexpr std::int32_t STAT_MSG = 0x04;
inline constexpr std::int32_t STAT_MSGS = 0x08;
inline constexpr std::int32_t STAT_MEM = 0x10;
inline constexpr std::int32_t STAT_MEMS = 0x20;
inline constexpr std::int32_t STAT_PROF = 0x40;
inline constexpr std::int32_t STAT_TRACE = 0x80;
inline constexpr std::int32_t STAT_ALL = STAT_CPU | STAT_MSG | STAT_MEM;
inline constexpr std::int32_t STAT_ALLS = STAT_CPUS | STAT_MSGS | STAT_MEMS;
inline constexpr std::int32_t PROF_AVERAGE = 0x400000;
inline constexpr std::int32_t PROF_NONE = 0x800000;

inline constexpr std::size_t max_option_words = 127;

// Cuts the argument vector at "-tkhpf" and takes the saved environment. Runs once.
void locate_runtime_options();
// Splits "TKHPF_OPTS" into words; more than `max_option_words` ends the program.
void split_options_variable();
// Runs the two above and checks "-test", "-np", "-g", "-stat" and "-prof", unless the
// options were already located.
void read_runtime_options();
// Forgets the located options and the settings, so that another command line can be read.
void clear_runtime_options();

// The option's value, the empty text when it has none, or nothing when it is absent.
// `name` includes its leading minus sign.
std::optional<std::string_view> runtime_option(std::string_view name);
std::optional<std::string_view> environment_value(std::string_view name);

struct size_number {
  std::int32_t value = 0;
  std::size_t scanned_length = 0;  // 0: nothing was read
};
// A long integer with base 0, clamped to 32 bits, and an optional k, m or g suffix.
size_number read_size_number(std::string_view text);

// 1 for a value beginning with y or Y, 0 for n or N, `default_value` when absent.
std::int32_t yes_no_option(std::string_view name, std::int32_t default_value);
// "%s for %s/TKHPF_%s command/environment option\n", then the abnormal end.
[[noreturn]] void option_error(std::string_view message, std::string_view name);

bool version_requested();
void read_zero_memory_option();
void read_trace_option();

}  // namespace runtime

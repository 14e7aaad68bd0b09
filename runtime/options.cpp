// The runtime options: the "-tkhpf" marker, "TKHPF_OPTS", option variables and every check.
#include "options.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "runtime.h"
#include "startup.h"

namespace runtime {
namespace {

struct flag_keyword {
  std::string_view keyword;
  std::int32_t bits;
};
// Longer words first: "cpus" must be tried before "cpu" takes its first three letters.
constexpr flag_keyword statistics_items[] = {
    {"cpus", STAT_CPUS}, {"mems", STAT_MEMS}, {"msgs", STAT_MSGS}, {"alls", STAT_ALLS},
    {"cpu", STAT_CPU},   {"mem", STAT_MEM},   {"msg", STAT_MSG},   {"all", STAT_ALL},
    {"prof", STAT_PROF}, {"trace", STAT_TRACE},
};
static_assert(std::size(statistics_items) == 10);
static_assert(STAT_ALL == 0x15 && STAT_ALLS == 0x2a);

constexpr flag_keyword profile_values[] = {
    {"average", PROF_AVERAGE},
    {"none", PROF_NONE},
    {"all", 0},
};
static_assert(std::size(profile_values) == 3);

// The option vector when the platform gives no argument vector.
char* no_arguments[] = {nullptr};

struct option_state {
  char** option_vector = nullptr;  // set once: the options count as located
  char** environment = nullptr;
  std::string options_copy;        // "TKHPF_OPTS"; the words below point into it
  std::vector<std::string_view> option_words;
  runtime_settings settings;
};
option_state state;

char** process_environment() {
  char** saved = saved_environment();
  // A program with its own main may never have saved one.
  return saved != nullptr ? saved : environ;
}

std::string upper_case(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

// "-np" is also "TKHPF_NP".
std::string environment_option_name(std::string_view name) {
  return "TKHPF_" + upper_case(name.substr(std::min<std::size_t>(1, name.size())));
}

bool is_c_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::int32_t digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 36;
}

// The platform's string-to-long with base 0, clamped to the 32-bit range.
size_number scan_long(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_c_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int32_t base = 10;
  if (i < text.size() && text[i] == '0') {
    base = 8;
    // "0x" counts as a prefix only with a hexadecimal digit after it; else the "0" is the number.
    if (i + 2 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') && digit_value(text[i + 2]) < 16) {
      base = 16;
      i += 2;
    }
  }
  const std::size_t first_digit = i;
  // Saturates just past the largest magnitude a 32-bit value can take.
  constexpr std::uint64_t magnitude_limit = std::uint64_t{1} << 32;
  std::uint64_t magnitude = 0;
  for (; i < text.size() && digit_value(text[i]) < base; ++i)
    magnitude = std::min(magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit_value(text[i])),
                         magnitude_limit);
  if (i == first_digit) return {};
  constexpr std::int64_t lowest = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t highest = std::numeric_limits<std::int32_t>::max();
  const std::int64_t signed_value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  return {static_cast<std::int32_t>(std::clamp(signed_value, lowest, highest)), i};
}

std::optional<std::string_view> find_in_vector(char** vector, std::string_view name) {
  for (char** entry = vector; *entry != nullptr; ++entry)
    if (name == *entry) return entry[1] != nullptr ? entry[1] : "";
  return std::nullopt;
}

std::optional<std::string_view> find_in_words(std::string_view name) {
  const auto& words = state.option_words;
  const auto found = std::find(words.begin(), words.end(), name);
  if (found == words.end()) return std::nullopt;
  return found + 1 != words.end() ? found[1] : "";
}

void read_test_option() {
  const auto value = runtime_option("-test");
  if (!value) return;
  const size_number number = read_size_number(*value);
  if (number.scanned_length == 0) {
    state.settings.test_level = -1;
  } else if (number.scanned_length < value->size()) {
    option_error("invalid numeric value", "-test");
  } else {
    state.settings.test_level = number.value;
  }
}

void read_processor_count_option() {
  const auto value = runtime_option("-np");
  if (!value) return;
  const size_number number = read_size_number(*value);
  if (number.scanned_length == 0 || number.scanned_length < value->size() || number.value < 1)
    option_error("missing or invalid numeric value", "-np");
  state.settings.processor_count = number.value;
}

void read_debug_option() {
  const auto value = runtime_option("-g");
  if (!value) return;
  state.settings.debug_flag = 1;
  const size_number number = read_size_number(*value);
  if (number.scanned_length == 0) {
    state.settings.debug_processor = -1;
    return;
  }
  if (number.scanned_length < value->size() || number.value < 0 ||
      number.value >= state.settings.processor_count)
    option_error("invalid numeric value", "-g");
  state.settings.debug_processor = number.value;
}

void read_statistics_option() {
  const auto value = runtime_option("-stat");
  if (!value) return;
  if (value->empty() || value->front() == '-') {
    state.settings.statistics_flags |= STAT_ALL;
    return;
  }
  // A trailing comma leaves an empty rest, which ends the list like the end of the text.
  for (std::string_view rest = *value; !rest.empty();) {
    const std::string_view item = rest.substr(0, rest.find(','));
    rest.remove_prefix(std::min(item.size() + 1, rest.size()));
    const auto* match = std::find_if(std::begin(statistics_items), std::end(statistics_items),
                                     [&](const flag_keyword& k) { return item.starts_with(k.keyword); });
    if (match != std::end(statistics_items)) {
      state.settings.statistics_flags |= match->bits;
    } else if (!item.empty() && item.front() >= '0' && item.front() <= '9') {
      state.settings.statistics_flags |= scan_long(item).value;
    } else {
      option_error("invalid format", "-stat");
    }
  }
}

void read_profile_option() {
  const auto value = runtime_option("-prof");
  if (!value) return;
  // At least two letters, and no more than the word has.
  const auto* match = std::find_if(std::begin(profile_values), std::end(profile_values),
                                   [&](const flag_keyword& k) {
                                     return value->size() >= 2 && k.keyword.starts_with(*value);
                                   });
  if (match == std::end(profile_values)) option_error("invalid value", "-prof");
  state.settings.statistics_flags |= match->bits;
}

}  // namespace

const runtime_settings& settings() { return state.settings; }

void locate_runtime_options() {
  if (state.option_vector != nullptr) return;
  char** arguments = saved_argument_vector();
  char** entry = arguments != nullptr ? arguments : no_arguments;
  for (; *entry != nullptr; ++entry) {
    if (std::string_view{*entry} == "-tkhpf") {
      // The program sees its arguments end before the marker.
      *entry = nullptr;
      set_saved_argument_count(static_cast<int>(entry - arguments));
      state.option_vector = entry + 1;
      break;
    }
  }
  if (state.option_vector == nullptr) state.option_vector = entry;
  state.environment = process_environment();
}

void split_options_variable() {
  const auto value = environment_value("TKHPF_OPTS");
  if (!value) return;
  // Words point into our own copy: the environment may change under us.
  state.option_words.clear();
  state.options_copy.assign(*value);
  const std::string_view copy = state.options_copy;
  std::size_t i = 0;
  while (i < copy.size()) {
    if (copy[i] == ' ') {
      ++i;
      continue;
    }
    if (state.option_words.size() == max_option_words) runtime_error_stop("TKHPF_OPTS: too many options");
    const std::size_t end = std::min(copy.find(' ', i), copy.size());
    state.option_words.push_back(copy.substr(i, end - i));
    i = end;
  }
}

void read_runtime_options() {
  if (state.option_vector != nullptr) return;
  state.settings = {};
  locate_runtime_options();
  split_options_variable();
  read_test_option();
  read_processor_count_option();
  read_debug_option();
  read_statistics_option();
  read_profile_option();
}

void clear_runtime_options() { state = {}; }

std::optional<std::string_view> runtime_option(std::string_view name) {
  if (state.option_vector == nullptr) return std::nullopt;
  std::optional<std::string_view> value = find_in_vector(state.option_vector, name);
  if (!value) value = environment_value(environment_option_name(name));
  if (!value) value = find_in_words(name);
  // "-g" takes no option word as its value: after "-g", "-stat all" is still "-stat".
  if (value && name == "-g" && value->starts_with('-')) value = "";
  return value;
}

std::optional<std::string_view> environment_value(std::string_view name) {
  char** environment = state.environment != nullptr ? state.environment : process_environment();
  if (environment == nullptr) return std::nullopt;
  for (char** entry = environment; *entry != nullptr; ++entry) {
    const std::string_view text{*entry};
    if (text.size() > name.size() && text.starts_with(name) && text[name.size()] == '=')
      return text.substr(name.size() + 1);
  }
  return std::nullopt;
}

size_number read_size_number(std::string_view text) {
  size_number number = scan_long(text);
  if (number.scanned_length == 0 || number.scanned_length == text.size()) return number;
  std::int32_t shift = 0;
  switch (text[number.scanned_length]) {
    case 'k': case 'K': shift = 10; break;
    case 'm': case 'M': shift = 20; break;
    case 'g': case 'G': shift = 30; break;
    default: return number;
  }
  // Shifted in 32 bits: what falls off the top is lost, as the suffix always did.
  number.value = static_cast<std::int32_t>(static_cast<std::uint32_t>(number.value) << shift);
  ++number.scanned_length;
  return number;
}

std::int32_t yes_no_option(std::string_view name, std::int32_t default_value) {
  const auto value = runtime_option(name);
  if (!value) return default_value;
  if (value->starts_with('y') || value->starts_with('Y')) return 1;
  if (value->starts_with('n') || value->starts_with('N')) return 0;
  option_error("missing or invalid yes/no value", name);
}

void option_error(std::string_view message, std::string_view name) {
  // runtime_error_stop adds its own newline, so the report ends in an empty line.
  std::string text{message};
  text += " for ";
  text += name;
  text += '/';
  text += environment_option_name(name);
  text += " command/environment option\n";
  runtime_error_stop(text.c_str());
  std::abort();  // not reached: runtime_error_stop does not return
}

bool version_requested() { return runtime_option("-V") || runtime_option("-version"); }

void read_zero_memory_option() { state.settings.zero_memory_flag = yes_no_option("-zmem", 0); }

void read_trace_option() {
  const auto value = runtime_option("-trace");
  if (!value) return;
  const size_number number = read_size_number(*value);
  // Tracing runs on processor 0, the only one there is.
  if (number.scanned_length != 0 && (number.scanned_length < value->size() || number.value != 0))
    runtime_error_stop("invalid -trace processor");
  state.settings.trace_flag = 1;
}

}  // namespace runtime

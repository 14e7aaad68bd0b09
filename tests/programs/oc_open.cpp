// A program that performs the OPEN and CLOSE statements its arguments spell out, with the
// flag word 0, so every error ends it with the fatal report. One argument per statement:
//   open|<unit>|<specifier>=<value>|...   specifiers: access action blank delim file form
//                                          pad position status dispose recl
//   close|<unit>|status=<value>
// The first statement is at source line 4, each further one a line later.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "record_io.h"
#include "runtime.h"

namespace {

constexpr std::string_view source_file = "oc_open.f";

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t bar = text.find(separator); bar != std::string::npos;
       bar = text.find(separator, start)) {
    parts.push_back(text.substr(start, bar - start));
    start = bar + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

// An omitted specifier is a null text with length 0.
struct specifier_text {
  const char* text = nullptr;
  std::int32_t length = 0;
};

void run(const std::string& statement, std::int32_t line) {
  const std::vector<std::string> parts = split(statement, '|');
  if (parts.size() < 2) {
    std::fprintf(stderr, "oc_open: bad statement %s\n", statement.c_str());
    std::exit(2);
  }
  const std::int32_t unit = std::atoi(parts[1].c_str());
  std::map<std::string, std::string> values;
  for (std::size_t i = 2; i < parts.size(); ++i) {
    const std::size_t equals = parts[i].find('=');
    values[parts[i].substr(0, equals)] = equals == std::string::npos ? "" : parts[i].substr(equals + 1);
  }
  auto given = [&](const char* name) {
    const auto found = values.find(name);
    if (found == values.end()) return specifier_text{};
    return specifier_text{found->second.data(), static_cast<std::int32_t>(found->second.size())};
  };
  const std::int32_t flags = 0;
  std::int32_t iostat = 0;
  io_source_position(&line, source_file.data(), static_cast<std::int32_t>(source_file.size()));
  if (parts[0] == "close") {
    const auto status = given("status");
    close_unit(&unit, &flags, &iostat, status.text, status.length);
    return;
  }
  const auto access = given("access"), action = given("action"), blank = given("blank"),
             delim = given("delim"), file = given("file"), form = given("form"), pad = given("pad"),
             position = given("position"), status = given("status"), dispose = given("dispose");
  const std::int32_t recl = values.count("recl") != 0 ? std::atoi(values["recl"].c_str()) : 0;
  open_unit(&unit, &flags, access.text, action.text, blank.text, delim.text, file.text, form.text,
            &iostat, pad.text, position.text, values.count("recl") != 0 ? &recl : nullptr,
            status.text, dispose.text, access.length, action.length, blank.length, delim.length,
            file.length, form.length, pad.length, position.length, status.length, dispose.length);
}

}  // namespace

extern "C" void MAIN_(int argc, char** argv, char**) {
  const std::int32_t zero = 0;
  runtime_init(&zero);
  for (int i = 1; i < argc; ++i) run(argv[i], 3 + i);
}

// Performs the free-form reads its arguments name and prints what each one stored.
//   f<flags>          flag word of the statements that follow
//   l<line>           source line of the statements that follow
//   u<unit>           unit of the reads that follow (5 at first)
//   o<unit>:<file>    OPEN with FILE= only
//   s<items>          a read from the unit; one letter per item:
//                     i 32-bit integer, r 32-bit real, d 64-bit real, c text of 8,
//                     l 32-bit logical, z complex of two 64-bit reals
//   n<items>:<text>   the same read from an internal file of one record, the text
// Each read prints one line: the items (99 and ######## before a read, so an item left
// unchanged shows), then " status=S iostat=I" when the status is not 0.
#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "record_io.h"
#include "runtime.h"

namespace {

int32_t flags = 0;
int32_t line = 1;
int32_t unit = 5;
constexpr const char* source_file = "reader.f";

void position() { io_source_position(&line, source_file, static_cast<int32_t>(std::strlen(source_file))); }

struct item {
  char letter;
  int32_t integer = 99;
  float real = 99;
  double real64 = 99;
  std::array<double, 2> complex{99, 99};
  std::array<char, 8> text{'#', '#', '#', '#', '#', '#', '#', '#'};
};

std::string shortest(double value) {
  std::array<char, 40> out{};
  return {out.data(), std::to_chars(out.data(), out.data() + out.size(), value).ptr};
}
std::string shortest(float value) {
  std::array<char, 40> out{};
  return {out.data(), std::to_chars(out.data(), out.data() + out.size(), value).ptr};
}

int32_t read_item(item& it) {
  const int32_t one = 1;
  int32_t type = TYPE_INTEGER4;
  void* address = &it.integer;
  switch (it.letter) {
    case 'r': type = TYPE_REAL4; address = &it.real; break;
    case 'd': type = TYPE_REAL8; address = &it.real64; break;
    case 'c': type = TYPE_CHARACTER; address = it.text.data(); break;
    case 'l': type = TYPE_LOGICAL4; break;
    case 'z': type = TYPE_COMPLEX16; address = it.complex.data(); break;
    default: break;
  }
  return ld_read_item(&type, &one, nullptr, address, static_cast<int32_t>(it.text.size()));
}

std::string show(const item& it) {
  switch (it.letter) {
    case 'r': return shortest(it.real);
    case 'd': return shortest(it.real64);
    case 'c': return std::string(it.text.data(), it.text.size());
    case 'z': return "(" + shortest(it.complex[0]) + "," + shortest(it.complex[1]) + ")";
    default: return std::to_string(it.integer);
  }
}

void read_statement(const std::string& letters, const std::string* internal_record) {
  std::vector<item> items;
  for (const char letter : letters) items.push_back(item{letter});
  int32_t iostat = 0;
  position();
  int32_t status = 0;
  if (internal_record != nullptr) {
    const int32_t records = 1;
    status = ld_internal_read_begin(internal_record->data(), &records, &flags, &iostat,
                                    static_cast<int32_t>(internal_record->size()));
  } else {
    status = ld_read_begin(&unit, nullptr, &flags, &iostat);
  }
  for (auto& it : items) {
    const int32_t item_status = read_item(it);
    if (status == 0) status = item_status;
  }
  const int32_t end_status = ld_read_end();
  if (status == 0) status = end_status;
  std::string out;
  for (const auto& it : items) out += (out.empty() ? "" : " ") + show(it);
  if (status != 0) out += " status=" + std::to_string(status) + " iostat=" + std::to_string(iostat);
  std::printf("%s\n", out.c_str());
  // A fatal error later ends the process without flushing: show this line now.
  std::fflush(stdout);
}

void open_file(int32_t number, const std::string& name) {
  position();
  open_unit(&number, &flags, nullptr, nullptr, nullptr, nullptr, name.data(), nullptr, nullptr,
            nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 0,
            static_cast<int32_t>(name.size()), 0, 0, 0, 0, 0);
}

void run(const std::string& op) {
  const std::string rest = op.substr(1);
  switch (op[0]) {
    case 'f': flags = std::atoi(rest.c_str()); return;
    case 'l': line = std::atoi(rest.c_str()); return;
    case 'u': unit = std::atoi(rest.c_str()); return;
    case 'o': {
      const std::size_t colon = rest.find(':');
      open_file(std::atoi(rest.substr(0, colon).c_str()), rest.substr(colon + 1));
      return;
    }
    case 's': read_statement(rest, nullptr); return;
    case 'n': {
      const std::size_t colon = rest.find(':');
      const std::string record = rest.substr(colon + 1);
      read_statement(rest.substr(0, colon), &record);
      return;
    }
    default: return;
  }
}

}  // namespace

extern "C" void MAIN_(int argc, char** argv, char**) {
  const int32_t zero = 0;
  runtime_init(&zero);
  for (int i = 1; i < argc; ++i) run(argv[i]);
  std::fflush(stdout);
}

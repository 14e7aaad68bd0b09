// A program that performs the statements its arguments name, for end-to-end tests.
//   f<flags>        flag word of the statements that follow
//   l<line>         source line of the statements that follow
//   w<unit>:<text>  free-form write of one text item ("w6:" with no text: no item)
//   i<unit>:<n>     free-form write of one 32-bit integer
//   r<unit>         free-form read of one text item of 20 characters
//   e<unit>         free-form read with no items
//   o<unit>:<file>  OPEN with FILE= only
//   c<unit>         CLOSE
//   x               runtime_error_stop with no message
// After each statement with a non-zero status it prints "status=S iostat=I" on stdout.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "record_io.h"
#include "runtime.h"

namespace {

int32_t flags = 0;
int32_t line = 1;
constexpr const char* source_file = "probe.f";

void position() { io_source_position(&line, source_file, static_cast<int32_t>(std::strlen(source_file))); }

void report(int32_t status, int32_t iostat) {
  if (status != 0) std::printf("status=%d iostat=%d\n", status, iostat);
}

void run(const std::string& op) {
  const char kind = op[0];
  const std::string rest = op.substr(1);
  const std::size_t colon = rest.find(':');
  const int32_t unit = std::atoi(rest.substr(0, colon).c_str());
  const std::string text = colon == std::string::npos ? "" : rest.substr(colon + 1);
  int32_t iostat = 0;
  int32_t status = 0;
  const int32_t one = 1;
  switch (kind) {
    case 'f': flags = unit; return;
    case 'l': line = unit; return;
    case 'x':
      runtime_error_stop(nullptr);
      return;
    case 'w': {
      const int32_t type = TYPE_CHARACTER;
      position();
      status = ld_write_begin(&unit, nullptr, &flags, &iostat);
      if (!text.empty()) {
        const int32_t item = ld_write_item(&type, &one, nullptr, text.data(), static_cast<int32_t>(text.size()));
        status = status != 0 ? status : item;
      }
      const int32_t end = ld_write_end();
      report(status != 0 ? status : end, iostat);
      return;
    }
    case 'i': {
      position();
      status = ld_write_begin(&unit, nullptr, &flags, &iostat);
      const int32_t item = ld_write_scalar(static_cast<uint32_t>(std::atoi(text.c_str())), TYPE_INTEGER4);
      const int32_t end = ld_write_end();
      report(status != 0 ? status : (item != 0 ? item : end), iostat);
      return;
    }
    case 'r':
    case 'e': {
      char buffer[20];
      const int32_t type = TYPE_CHARACTER;
      position();
      status = ld_read_begin(&unit, nullptr, &flags, &iostat);
      if (kind == 'r') {
        const int32_t item = ld_read_item(&type, &one, nullptr, buffer, sizeof buffer);
        status = status != 0 ? status : item;
      }
      const int32_t end = ld_read_end();
      report(status != 0 ? status : end, iostat);
      return;
    }
    case 'o':
      position();
      status = open_unit(&unit, &flags, nullptr, nullptr, nullptr, nullptr, text.data(), nullptr, &iostat,
                         nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 0,
                         static_cast<int32_t>(text.size()), 0, 0, 0, 0, 0);
      report(status, iostat);
      return;
    case 'c':
      position();
      status = close_unit(&unit, &flags, &iostat, nullptr, 0);
      report(status, iostat);
      return;
    default:
      std::fprintf(stderr, "io_probe: unknown operation %s\n", op.c_str());
      std::exit(2);
  }
}

}  // namespace

extern "C" void MAIN_(int, char** argv, char**) {
  const int32_t zero = 0;
  runtime_init(&zero);
  // Up to the null entry, not argc: the runtime options cut the vector at "-tkhpf".
  for (char** a = argv + 1; *a != nullptr; ++a) run(*a);
}

// A program for the fault-injection tests: it breaks its own standard streams when asked,
// then performs the statements its arguments name.
//   f<flags>                  flag word of the statements that follow
//   l<line>                   source line of the statements that follow
//   stdout:closed             standard output is closed before any statement
//   stdout:broken             standard output is a pipe whose reader is gone
//   sigpipe:ignore            a write to a broken pipe fails with EPIPE instead of a signal
//   open:<unit>:<file>        OPEN with FILE= only
//   open-direct:<unit>:<file>:<recl>   OPEN with ACCESS='DIRECT', FORM='FORMATTED', RECL=
//   close:<unit>              CLOSE
//   write:<unit>:<text>       free-form write of one text item
//   write-long:<unit>:<n>     free-form write of one text item of n 'x' characters
//   write-int:<unit>:<n>      free-form write of one 32-bit integer
//   fwrite-group:<unit>:<n>   formatted write, no items, under the format (n('ab')): one
//                             record of 2n characters built from n literals
//   read-int:<unit>           free-form read of one 32-bit integer, printed "int=<n>"
//   read-real:<unit>          free-form read of one 64-bit real, printed "real=<%a>"
//   read-text:<unit>:<n>      free-form read of one text item of n characters, printed
//                             "text=<first 40 characters>/<length without trailing blanks>"
//   open-many:<first>:<count> OPEN units first.. on files u<unit>.dat, each written its number
//   cycle:<rounds>:<count>    each round OPENs count units on c<unit>.dat, writes, CLOSEs them
//   write-ints:<unit>:<n>     free-form writes of the integers 1 to n, one record each
//   fault                     a segmentation fault at address 16 inside fail_inside_named_function
//   error                     the runtime's error stop called inside stop_inside_named_function
// After each statement with a non-zero status it prints "status=S iostat=I" on stdout.
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "record_io.h"
#include "runtime.h"

namespace {

std::int32_t flags = 0;
std::int32_t line = 1;
constexpr const char* source_file = "fault.f";

void position() {
  io_source_position(&line, source_file, static_cast<std::int32_t>(std::strlen(source_file)));
}

void report(std::int32_t status, std::int32_t iostat) {
  if (status != 0) std::printf("status=%d iostat=%d\n", status, iostat);
}

std::vector<std::string> fields_of(const std::string& op) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t colon = op.find(':', start);
    fields.push_back(op.substr(start, colon - start));
    if (colon == std::string::npos) return fields;
    start = colon + 1;
  }
}

std::int32_t number(const std::vector<std::string>& fields, std::size_t i) {
  return i < fields.size() ? std::atoi(fields[i].c_str()) : 0;
}

std::int32_t open_file(std::int32_t unit, const std::string& file, const char* access = nullptr,
                       const std::int32_t* recl = nullptr) {
  std::int32_t iostat = 0;
  const char* form = access != nullptr ? "FORMATTED" : nullptr;
  position();
  const std::int32_t status = open_unit(
      &unit, &flags, access, nullptr, nullptr, nullptr, file.data(), form, &iostat, nullptr, nullptr,
      recl, nullptr, nullptr, access != nullptr ? static_cast<std::int32_t>(std::strlen(access)) : 0, 0, 0, 0,
      static_cast<std::int32_t>(file.size()), form != nullptr ? static_cast<std::int32_t>(std::strlen(form)) : 0,
      0, 0, 0, 0);
  report(status, iostat);
  return status;
}

void close_file(std::int32_t unit) {
  std::int32_t iostat = 0;
  position();
  const std::int32_t status = close_unit(&unit, &flags, &iostat, nullptr, 0);
  report(status, iostat);
}

void write_text(std::int32_t unit, const std::string& text) {
  std::int32_t iostat = 0;
  const std::int32_t type = TYPE_CHARACTER;
  const std::int32_t one = 1;
  position();
  std::int32_t status = ld_write_begin(&unit, nullptr, &flags, &iostat);
  const std::int32_t item = ld_write_item(&type, &one, nullptr, text.data(), static_cast<std::int32_t>(text.size()));
  const std::int32_t end = ld_write_end();
  report(status != 0 ? status : (item != 0 ? item : end), iostat);
}

void write_group(std::int32_t unit, std::int32_t repeat) {
  // (n('ab')): count n before the group, the literal, the group end naming the literal's
  // word, the end of format reverting to word 0.
  const std::int32_t format[] = {0, repeat, FORMAT_GROUP, FORMAT_LITERAL, 2, 'a' | ('b' << 8),
                                 FORMAT_GROUP_END, 3, FORMAT_END, 0};
  std::int32_t iostat = 0;
  position();
  const std::int32_t status = fmt_write_begin(&unit, nullptr, &flags, &iostat, format, nullptr, 0);
  const std::int32_t end = fmt_write_end();
  report(status != 0 ? status : end, iostat);
}

void write_integer(std::int32_t unit, std::int32_t value) {
  std::int32_t iostat = 0;
  position();
  const std::int32_t status = ld_write_begin(&unit, nullptr, &flags, &iostat);
  const std::int32_t item = ld_write_scalar(static_cast<std::uint32_t>(value), TYPE_INTEGER4);
  const std::int32_t end = ld_write_end();
  report(status != 0 ? status : (item != 0 ? item : end), iostat);
}

// One item of the type into `storage`; true when the statement succeeded.
bool read_item(std::int32_t unit, std::int32_t type, void* storage, std::int32_t length) {
  std::int32_t iostat = 0;
  const std::int32_t one = 1;
  position();
  const std::int32_t status = ld_read_begin(&unit, nullptr, &flags, &iostat);
  const std::int32_t item = ld_read_item(&type, &one, nullptr, storage, length);
  const std::int32_t end = ld_read_end();
  const std::int32_t result = status != 0 ? status : (item != 0 ? item : end);
  report(result, iostat);
  return result == 0;
}

// Named, and kept out of line, so that a traceback has them to show.
// The first page is never mapped. Not the null pointer: the undefined-behaviour sanitizer
// would stop the program before the fault.
[[gnu::noinline]] void fail_inside_named_function() {
  volatile int* volatile nowhere = reinterpret_cast<int*>(std::uintptr_t{16});
  *nowhere = 1;
}

[[gnu::noinline]] void stop_inside_named_function() {
  runtime_error_stop("stopped on purpose");
  std::abort();  // never reached: keeps the call a call, not a jump that leaves no frame
}

void break_standard_output(const std::string& how) {
  std::fflush(stdout);
  if (how == "closed") {
    close(1);
    return;
  }
  int ends[2];
  if (pipe(ends) != 0) std::exit(2);
  close(ends[0]);
  dup2(ends[1], 1);
  close(ends[1]);
}

void run(const std::string& op) {
  const std::vector<std::string> f = fields_of(op);
  const std::string& kind = f[0];
  if (kind[0] == 'f' && kind.size() > 1 && kind[1] >= '0' && kind[1] <= '9') {
    flags = std::atoi(kind.c_str() + 1);
  } else if (kind[0] == 'l' && kind.size() > 1 && kind[1] >= '0' && kind[1] <= '9') {
    line = std::atoi(kind.c_str() + 1);
  } else if (kind == "stdout") {
    break_standard_output(f.at(1));
  } else if (kind == "sigpipe") {
    signal(SIGPIPE, SIG_IGN);
  } else if (kind == "open") {
    open_file(number(f, 1), f.at(2));
  } else if (kind == "open-direct") {
    const std::int32_t recl = number(f, 3);
    open_file(number(f, 1), f.at(2), "DIRECT", &recl);
  } else if (kind == "close") {
    close_file(number(f, 1));
  } else if (kind == "write") {
    write_text(number(f, 1), f.size() > 2 ? f[2] : "");
  } else if (kind == "write-long") {
    write_text(number(f, 1), std::string(static_cast<std::size_t>(number(f, 2)), 'x'));
  } else if (kind == "write-int") {
    write_integer(number(f, 1), number(f, 2));
  } else if (kind == "fwrite-group") {
    write_group(number(f, 1), number(f, 2));
  } else if (kind == "read-int") {
    std::int32_t value = -7;
    if (read_item(number(f, 1), TYPE_INTEGER4, &value, 0)) std::printf("int=%d\n", value);
  } else if (kind == "read-real") {
    double value = -7.0;
    if (read_item(number(f, 1), TYPE_REAL8, &value, 0)) std::printf("real=%a\n", value);
  } else if (kind == "read-text") {
    std::string text(static_cast<std::size_t>(number(f, 2)), '?');
    if (read_item(number(f, 1), TYPE_CHARACTER, text.data(), static_cast<std::int32_t>(text.size()))) {
      const std::size_t kept = text.find_last_not_of(' ');
      std::printf("text=%s/%zu\n", text.substr(0, 40).c_str(), kept == std::string::npos ? 0 : kept + 1);
    }
  } else if (kind == "open-many") {
    const std::int32_t first = number(f, 1);
    for (std::int32_t unit = first; unit < first + number(f, 2); ++unit) {
      open_file(unit, "u" + std::to_string(unit) + ".dat");
      write_integer(unit, unit);
    }
  } else if (kind == "cycle") {
    for (std::int32_t round = 0; round < number(f, 1); ++round) {
      for (std::int32_t unit = 10; unit < 10 + number(f, 2); ++unit) {
        open_file(unit, "c" + std::to_string(unit) + ".dat");
        write_integer(unit, round);
      }
      for (std::int32_t unit = 10; unit < 10 + number(f, 2); ++unit) close_file(unit);
    }
  } else if (kind == "write-ints") {
    for (std::int32_t value = 1; value <= number(f, 2); ++value) write_integer(number(f, 1), value);
  } else if (kind == "fault") {
    fail_inside_named_function();
  } else if (kind == "error") {
    stop_inside_named_function();
  } else {
    std::fprintf(stderr, "fault_probe: unknown operation %s\n", op.c_str());
    std::exit(2);
  }
}

}  // namespace

extern "C" void MAIN_(int argc, char** argv, char**) {
  const std::int32_t zero = 0;
  runtime_init(&zero);
  for (int i = 1; i < argc; ++i) run(argv[i]);
}

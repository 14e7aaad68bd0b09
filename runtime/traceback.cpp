// The stack traceback: frames from the unwinder; names, files and lines from elfutils' libdw
// when it can be loaded, else names from the modules' symbol tables, else addresses.
#include "traceback.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <elf.h>
#include <elfutils/libdwfl.h>
#include <execinfo.h>
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/ucontext.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <span>

namespace runtime {
namespace {

constexpr int max_frames = 64;
// The child that writes a traceback for a handler is killed after this: the end never hangs.
constexpr unsigned child_time_limit_seconds = 10;
// The signals whose handlers the child must not run: its own fault ends only the child.
constexpr int child_default_signals[] = {SIGINT, SIGTERM, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// The libdw calls used, bound at run time: a program runs where libdw is not installed.
struct libdw_calls {
  decltype(&dwfl_begin) begin = nullptr;
  decltype(&dwfl_end) end = nullptr;
  decltype(&dwfl_linux_proc_report) proc_report = nullptr;
  decltype(&dwfl_report_end) report_end = nullptr;
  decltype(&dwfl_linux_proc_find_elf) proc_find_elf = nullptr;
  decltype(&dwfl_standard_find_debuginfo) standard_find_debuginfo = nullptr;
  decltype(&dwfl_addrmodule) addrmodule = nullptr;
  decltype(&dwfl_module_addrinfo) module_addrinfo = nullptr;
  decltype(&dwfl_module_getsrc) module_getsrc = nullptr;
  decltype(&dwfl_lineinfo) lineinfo = nullptr;
  decltype(&dwfl_module_info) module_info = nullptr;
};

struct traceback_state {
  libdw_calls libdw;
  bool libdw_loaded = false;
  bool prepared = false;
};
traceback_state state;

// Appends the pieces in order; texts are built by appending only.
template <typename... Pieces>
void append(std::string& text, const Pieces&... pieces) {
  (text.append(std::string_view{pieces}), ...);
}

std::string hex(std::uint64_t value) {
  std::array<char, 20> digits{'0', 'x'};
  char* const end = std::to_chars(digits.data() + 2, digits.data() + digits.size(), value, 16).ptr;
  return {digits.data(), end};
}

template <typename Function>
bool bind(void* library, const char* name, Function& slot) {
  slot = reinterpret_cast<Function>(dlsym(library, name));
  return slot != nullptr;
}

int find_interpreter(dl_phdr_info* info, std::size_t, void* found) {
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    if (info->dlpi_phdr[i].p_type == PT_INTERP) *static_cast<bool*>(found) = true;
  }
  return 1;  // the main program comes first; nothing else is asked
}

// A fully static program has no loader of its own: a libdw loaded into it would bring a
// second C library with its own heap.
bool dynamically_linked() {
  bool found = false;
  dl_iterate_phdr(find_interpreter, &found);
  return found;
}

void load_libdw() {
  if (!dynamically_linked()) return;
  // Looked up rather than named: a static link warns at every reference to dlopen.
  using open_function = void* (*)(const char*, int);
  open_function open_library = nullptr;
  if (!bind(RTLD_DEFAULT, "dlopen", open_library)) return;
  void* library = open_library("libdw.so.1", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return;
  libdw_calls& c = state.libdw;
  state.libdw_loaded =
      bind(library, "dwfl_begin", c.begin) && bind(library, "dwfl_end", c.end) &&
      bind(library, "dwfl_linux_proc_report", c.proc_report) &&
      bind(library, "dwfl_report_end", c.report_end) &&
      bind(library, "dwfl_linux_proc_find_elf", c.proc_find_elf) &&
      bind(library, "dwfl_standard_find_debuginfo", c.standard_find_debuginfo) &&
      bind(library, "dwfl_addrmodule", c.addrmodule) &&
      bind(library, "dwfl_module_addrinfo", c.module_addrinfo) &&
      bind(library, "dwfl_module_getsrc", c.module_getsrc) && bind(library, "dwfl_lineinfo", c.lineinfo) &&
      bind(library, "dwfl_module_info", c.module_info);
}

// What is known of one frame's address.
struct frame_description {
  std::string function;  // demangled; empty when unknown
  std::uint64_t function_offset = 0;
  std::string source;  // "file:line"; empty without debug information
  std::string module;  // the file the address lies in; empty when unknown
  std::uint64_t module_offset = 0;
};

// One libdw session over this process's modules, for the whole traceback.
class libdw_session {
 public:
  libdw_session() {
    if (!state.libdw_loaded) return;
    const libdw_calls& c = state.libdw;
    callbacks_.find_elf = c.proc_find_elf;
    callbacks_.find_debuginfo = c.standard_find_debuginfo;
    callbacks_.debuginfo_path = &debuginfo_path_;
    dwfl_ = c.begin(&callbacks_);
    if (dwfl_ == nullptr) return;
    if (c.proc_report(dwfl_, getpid()) != 0 || c.report_end(dwfl_, nullptr, nullptr) != 0) {
      c.end(dwfl_);
      dwfl_ = nullptr;
    }
  }
  ~libdw_session() {
    if (dwfl_ != nullptr) state.libdw.end(dwfl_);
  }
  libdw_session(const libdw_session&) = delete;
  libdw_session& operator=(const libdw_session&) = delete;

  bool describe(std::uintptr_t address, frame_description& frame) const {
    if (dwfl_ == nullptr) return false;
    const libdw_calls& c = state.libdw;
    Dwfl_Module* module = c.addrmodule(dwfl_, address);
    if (module == nullptr) return false;
    Dwarf_Addr start = 0;
    if (const char* name = c.module_info(module, nullptr, &start, nullptr, nullptr, nullptr, nullptr, nullptr)) {
      frame.module = name;
      frame.module_offset = address - start;
    }
    GElf_Off offset = 0;
    GElf_Sym symbol{};
    if (const char* name = c.module_addrinfo(module, address, &offset, &symbol, nullptr, nullptr, nullptr)) {
      frame.function = demangled(name);
      frame.function_offset = offset;
    }
    if (Dwfl_Line* line = c.module_getsrc(module, address)) {
      int line_number = 0;
      if (const char* file = c.lineinfo(line, nullptr, &line_number, nullptr, nullptr, nullptr)) {
        append(frame.source, file, ":", std::to_string(line_number));
      }
    }
    return true;
  }

 private:
  Dwfl_Callbacks callbacks_{};
  char* debuginfo_path_ = nullptr;
  Dwfl* dwfl_ = nullptr;
};

struct module_query {
  std::uintptr_t address = 0;
  std::string path;
  std::uintptr_t bias = 0;
  bool found = false;
};

int find_module(dl_phdr_info* info, std::size_t, void* data) {
  auto& query = *static_cast<module_query*>(data);
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD) continue;
    const std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
    if (query.address >= start && query.address - start < segment.p_memsz) {
      query.path = info->dlpi_name != nullptr ? info->dlpi_name : "";
      query.bias = info->dlpi_addr;
      query.found = true;
      return 1;
    }
  }
  return 0;
}

std::string program_path() {
  std::array<char, 4096> path{};
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  return length > 0 ? std::string(path.data(), static_cast<std::size_t>(length)) : std::string{};
}

// Without libdw: the module from the loader's list, the name from its symbol table.
void describe_from_symbol_table(std::uintptr_t address, frame_description& frame) {
  module_query query;
  query.address = address;
  dl_iterate_phdr(find_module, &query);
  if (!query.found) return;
  frame.module = query.path.empty() ? program_path() : query.path;
  frame.module_offset = address - query.bias;
  const symbol_match match = symbol_table_function(frame.module, address - query.bias);
  if (!match.name.empty()) {
    frame.function = demangled(match.name);
    frame.function_offset = match.offset;
  }
}

void write_all(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

std::string frame_line(std::int32_t level, std::size_t number, std::uintptr_t address,
                       const frame_description& frame) {
  std::string line;
  append(line, "  #", std::to_string(number), "  ");
  std::string place = hex(address);
  if (!frame.module.empty()) {
    place.clear();
    append(place, frame.module, "+", hex(frame.module_offset));
  }
  if (level >= 2) append(line, hex(address), " ", place, "  ");
  if (frame.function.empty()) {
    if (level < 2) append(line, place);
  } else {
    append(line, frame.function);
    if (frame.source.empty()) {
      if (frame.function_offset != 0) append(line, "+", hex(frame.function_offset));
      if (level < 2 && !frame.module.empty()) append(line, " in ", frame.module);
    } else {
      append(line, " at ", frame.source);
    }
  }
  append(line, "\n");
  return line;
}

struct register_name {
  const char* name;
  int index;
};
// x86-64 Linux: the general registers in the order a debugger shows them.
constexpr register_name general_registers[] = {
    {"rip", REG_RIP}, {"rsp", REG_RSP}, {"rbp", REG_RBP}, {"eflags", REG_EFL}, {"rax", REG_RAX},
    {"rbx", REG_RBX}, {"rcx", REG_RCX}, {"rdx", REG_RDX}, {"rsi", REG_RSI},    {"rdi", REG_RDI},
    {"r8", REG_R8},   {"r9", REG_R9},   {"r10", REG_R10}, {"r11", REG_R11},    {"r12", REG_R12},
    {"r13", REG_R13}, {"r14", REG_R14}, {"r15", REG_R15},
};
static_assert(std::size(general_registers) == 18);

std::string signal_details(const failure_point& failure) {
  std::string text;
  if (failure.signal_info != nullptr) {
    const auto& info = *static_cast<const siginfo_t*>(failure.signal_info);
    append(text, "Signal ", std::to_string(info.si_signo), ", code ", std::to_string(info.si_code));
    if (info.si_signo == SIGSEGV || info.si_signo == SIGBUS || info.si_signo == SIGFPE || info.si_signo == SIGILL) {
      append(text, ", address ", hex(reinterpret_cast<std::uintptr_t>(info.si_addr)));
    } else if (info.si_code <= 0) {
      append(text, ", sent by process ", std::to_string(info.si_pid));
    }
    append(text, "\n");
  }
  if (failure.signal_context != nullptr) {
    const auto& context = *static_cast<const ucontext_t*>(failure.signal_context);
    append(text, "Registers:\n");
    for (std::size_t i = 0; i < std::size(general_registers); ++i) {
      const register_name& r = general_registers[i];
      std::string cell;
      append(cell, "  ", r.name, " ", hex(static_cast<std::uint64_t>(context.uc_mcontext.gregs[r.index])));
      const bool row_ends = i % 3 == 2 || i + 1 == std::size(general_registers);
      if (!row_ends) cell.resize(std::max<std::size_t>(cell.size(), 28), ' ');
      append(text, cell, row_ends ? "\n" : "");
    }
  }
  return text;
}

void write_traceback(std::int32_t level, const failure_point& failure) {
  std::array<void*, max_frames> frames{};
  const auto count = static_cast<std::size_t>(backtrace(frames.data(), max_frames));
  const auto address_of = [&](std::size_t i) { return reinterpret_cast<std::uintptr_t>(frames[i]); };
  // Level 1 starts at the failure; the frames before it are the abnormal end's own.
  std::size_t first = 0;
  if (level < 2 && failure.program_counter != 0) {
    for (std::size_t i = 0; i < count; ++i) {
      if (address_of(i) == failure.program_counter) {
        first = i;
        break;
      }
    }
  }
  const libdw_session session;
  std::string text = "Traceback, innermost call first:\n";
  for (std::size_t i = first; i < count; ++i) {
    const std::uintptr_t address = address_of(i);
    // A return address lies after its call, perhaps in the next line or function; the
    // interrupted instruction of a signal is where it is.
    const bool interrupted = failure.signal_context != nullptr && address == failure.program_counter;
    const std::uintptr_t lookup = interrupted || address == 0 ? address : address - 1;
    frame_description frame;
    if (!session.describe(lookup, frame)) describe_from_symbol_table(lookup, frame);
    if (!frame.function.empty()) frame.function_offset += lookup != address ? 1 : 0;
    if (!frame.module.empty()) frame.module_offset += lookup != address ? 1 : 0;
    // The C library's return path from a handler has no name it exports.
    if (frame.function.empty() && failure.signal_context != nullptr && i + 1 < count &&
        address_of(i + 1) == failure.program_counter) {
      frame.function = "<signal handler called>";
    }
    text += frame_line(level, i - first, address, frame);
  }
  if (level >= 3) text += signal_details(failure);
  write_all(text);
}

}  // namespace

void prepare_stack_traceback() {
  if (state.prepared) return;
  state.prepared = true;
  std::array<void*, 1> frames{};
  backtrace(frames.data(), 1);
  load_libdw();
}

void print_stack_traceback(std::int32_t level, const failure_point& failure, bool in_signal_handler) {
  if (!in_signal_handler) {
    write_traceback(level, failure);
    return;
  }
  // The handler may have stopped the program inside malloc or the loader: only a copy of the
  // process may allocate now, and its failure ends only the copy.
  const pid_t child = _Fork();
  if (child == 0) {
    for (const int s : child_default_signals) signal(s, SIG_DFL);
    alarm(child_time_limit_seconds);
    write_traceback(level, failure);
    _exit(0);
  }
  if (child < 0) {
    std::array<void*, max_frames> frames{};
    backtrace_symbols_fd(frames.data(), backtrace(frames.data(), max_frames), STDERR_FILENO);
    return;
  }
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

std::string demangled(std::string_view name) {
  const std::string text(name);
  int status = 0;
  char* readable = abi::__cxa_demangle(text.c_str(), nullptr, nullptr, &status);
  if (status != 0 || readable == nullptr) return text;
  std::string result(readable);
  std::free(readable);
  return result;
}

namespace {

template <typename Record>
std::optional<Record> read_record(std::span<const unsigned char> bytes, std::uint64_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(Record)) return std::nullopt;
  Record record;
  std::memcpy(&record, bytes.data() + offset, sizeof record);
  return record;
}

std::optional<Elf64_Shdr> section(std::span<const unsigned char> bytes, const Elf64_Ehdr& header, std::size_t i) {
  if (header.e_shentsize != sizeof(Elf64_Shdr) || i >= header.e_shnum) return std::nullopt;
  return read_record<Elf64_Shdr>(bytes, header.e_shoff + i * sizeof(Elf64_Shdr));
}

symbol_match search_symbols(std::span<const unsigned char> bytes, std::uint64_t file_address) {
  const auto header = read_record<Elf64_Ehdr>(bytes, 0);
  if (!header || std::memcmp(header->e_ident, ELFMAG, SELFMAG) != 0 || header->e_ident[EI_CLASS] != ELFCLASS64) {
    return {};
  }
  // The full table when the file keeps one; a stripped file still has the dynamic one.
  for (const std::uint32_t table_type : {SHT_SYMTAB, SHT_DYNSYM}) {
    for (std::size_t i = 0; i < header->e_shnum; ++i) {
      const auto table = section(bytes, *header, i);
      if (!table || table->sh_type != table_type) continue;
      const auto strings = section(bytes, *header, table->sh_link);
      if (!strings || strings->sh_offset > bytes.size() || bytes.size() - strings->sh_offset < strings->sh_size) continue;
      const std::size_t symbol_count = table->sh_size / sizeof(Elf64_Sym);
      for (std::size_t k = 0; k < symbol_count; ++k) {
        const auto symbol = read_record<Elf64_Sym>(bytes, table->sh_offset + k * sizeof(Elf64_Sym));
        if (!symbol) break;
        const unsigned type = ELF64_ST_TYPE(symbol->st_info);
        if ((type != STT_FUNC && type != STT_GNU_IFUNC) || symbol->st_shndx == SHN_UNDEF) continue;
        const std::uint64_t size = symbol->st_size > 0 ? symbol->st_size : 1;
        if (file_address < symbol->st_value || file_address - symbol->st_value >= size) continue;
        if (symbol->st_name >= strings->sh_size) continue;
        const char* name = reinterpret_cast<const char*>(bytes.data() + strings->sh_offset + symbol->st_name);
        const std::size_t length = strnlen(name, strings->sh_size - symbol->st_name);
        if (length == strings->sh_size - symbol->st_name) continue;  // not terminated inside its table
        return {std::string(name, length), file_address - symbol->st_value};
      }
      return {};
    }
  }
  return {};
}

}  // namespace

symbol_match symbol_table_function(const std::string& path, std::uint64_t file_address) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return {};
  struct stat info {};
  void* mapped = MAP_FAILED;
  if (fstat(descriptor, &info) == 0 && info.st_size > 0) {
    mapped = mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, descriptor, 0);
  }
  close(descriptor);
  if (mapped == MAP_FAILED) return {};
  const std::span bytes{static_cast<const unsigned char*>(mapped), static_cast<std::size_t>(info.st_size)};
  symbol_match match = search_symbols(bytes, file_address);
  munmap(mapped, bytes.size());
  return match;
}

}  // namespace runtime

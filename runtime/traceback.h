// The stack traceback of the abnormal end: the failing process's calls, named.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace runtime {

// Where the failure is, for the traceback to start there.
struct failure_point {
  // The faulting instruction, or the return address into the caller of the abnormal end;
  // 0 when not known.
  std::uintptr_t program_counter = 0;
  const void* signal_context = nullptr;  // the handler's ucontext_t; null outside a handler
  const void* signal_info = nullptr;     // the handler's siginfo_t
};

// Loads the unwinder and the debug-information library, which allocate and take the
// loader's lock: done when "TKA_TERM" asks for tracebacks, long before any signal.
void prepare_stack_traceback();

// Writes the call stack to standard error at detail level 1 to 3:
//   1  the frames from the failure outwards, each a demangled function name and, with debug
//      information, its source file and line;
//   2  every frame, the abnormal end's own and the signal frame included, each also with its
//      address and the module and offset it lies at;
//   3  as 2, then for a fatal signal its number, code and faulting address and the general
//      registers at the moment it arrived.
// Inside a fatal-signal handler a child process does the work, so the handler itself only
// forks and waits.
void print_stack_traceback(std::int32_t level, const failure_point& failure, bool in_signal_handler);

// The name of the function of the symbol table (".symtab", else ".dynsym") of the file at
// `path` that holds the file address, with the offset into it; empty when none does. The
// fallback when the debug-information library cannot be loaded.
struct symbol_match {
  std::string name;
  std::uint64_t offset = 0;
};
symbol_match symbol_table_function(const std::string& path, std::uint64_t file_address);

// A C++ name demangled, or the name itself when it is not a mangled one.
std::string demangled(std::string_view name);

}  // namespace runtime

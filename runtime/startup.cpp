// Process entry, runtime initialisation and the normal end.
#include "startup.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "abnormal_end.h"
#include "absent_argument.h"
#include "diagnostics.h"
#include "end_hooks.h"
#include "options.h"
#include "runtime.h"
#include "signal_messages.h"

// An omitted reference argument points here; only its address matters.
std::int32_t absent_argument_placeholder[3] = {0, 0, 0};

namespace runtime {
namespace {

// The entry address sits this far above the start-up frame, near the top of the initial stack.
constexpr std::uintptr_t stack_entry_offset = 1020;

constexpr const char* version_notice = "Start-up, termination and record I/O runtime for console programs";

struct startup_state {
  int argc = 0;
  char** argv = nullptr;
  char** envp = nullptr;
  const char* program_image_name = nullptr;
  std::int64_t rounded_count = 1;
  // Each at-exit handler is registered at most once per process.
  bool stack_report_registered = false;
  bool exit_handler_registered = false;
};
startup_state state;

bool environment_defines(const char* name) { return std::getenv(name) != nullptr; }

void write_version_banner() {
  std::fprintf(stderr, "%s %s %s %s%s\n", "LIBTKF90", "nt86", "", "10.8", "-0");
  std::fprintf(stderr, "%s\n", version_notice);
}

}  // namespace

void save_process_arguments(int argc, char** argv, char** envp) {
  state.argc = argc;
  state.argv = argv;
  state.envp = envp;
}

int saved_argument_count() { return state.argc; }
void set_saved_argument_count(int argc) { state.argc = argc; }
char** saved_argument_vector() { return state.argv; }
char** saved_environment() { return state.envp; }
const char* program_image_name() { return state.program_image_name; }

void startup_hook(int, char** argv) {
  record_initial_stack(reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)) + stack_entry_offset);
  if (!state.stack_report_registered &&
      (environment_defines("TKA_STACK_USAGE") || environment_defines("STAKSTAT"))) {
    state.stack_report_registered = std::atexit(stack_usage_report) == 0;
  }
  state.program_image_name = argv != nullptr ? argv[0] : nullptr;
  read_term_option();
  set_processor_mode();
}

void runtime_exit_handler() {
  run_normal_end_hook();
  statistics_finish();
}

std::int64_t rounded_processor_count(std::int32_t processor_count) {
  std::int64_t rounded = 1;
  while (rounded < processor_count) rounded *= 2;
  return rounded;
}

std::int64_t rounded_count() { return state.rounded_count; }

}  // namespace runtime

extern "C" void process_main(int argc, char** argv, char** envp) {
  runtime::startup_hook(argc, argv);
  runtime::save_process_arguments(argc, argv, envp);
  MAIN_(argc, argv, envp);
  const std::int32_t status = 0;
  program_exit(&status);
}

extern "C" void runtime_init(const std::int32_t*) {
  using namespace runtime;
  initialise_type_tables();
  set_processor_number(0);
  read_runtime_options();
  // After the "TKA_TERM" handlers, so that for a signal both name, this message wins.
  install_signal_messages();
  state.rounded_count = rounded_processor_count(settings().processor_count);
  if (processor_number() == 0 && version_requested()) write_version_banner();
  read_zero_memory_option();
  statistics_start();
  read_trace_option();
  if (!state.exit_handler_registered) state.exit_handler_registered = std::atexit(runtime_exit_handler) == 0;
  // Nothing to publish: the diagnostics support reads the settings where they are kept.
}

extern "C" void program_exit(const std::int32_t* status) {
  // The platform's exit runs the at-exit list and flushes the standard streams.
  std::exit(runtime::is_absent(status) ? 0 : *status);
}

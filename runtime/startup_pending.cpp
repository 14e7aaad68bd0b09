// Minimal start-up until the full one lands: enough to run programs and the exit handler.
#include <cstdlib>

#include "runtime.h"
#include "units.h"

extern "C" {
int32_t absent_argument_placeholder[3] = {0, 0, 0};

void process_main(int argc, char** argv, char** envp) {
  MAIN_(argc, argv, envp);
  const int32_t zero = 0;
  program_exit(&zero);
}

void runtime_init(const int32_t*) {
  static bool registered = false;
  if (!registered) std::atexit([] { io::close_all_units(); });
  registered = true;
}

void program_exit(const int32_t* status) { std::exit(status != nullptr ? *status : 0); }
}

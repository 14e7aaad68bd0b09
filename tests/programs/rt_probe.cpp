// A main program that shows what the start-up left it and ends the way its first argument asks.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

#include "runtime.h"

extern "C" void MAIN_(int, char** argv, char**) {
  const std::int32_t zero = 0;
  runtime_init(&zero);
  std::printf("MAIN_ ran:");
  for (char** a = argv + 1; *a != nullptr; ++a) std::printf(" %s", *a);
  std::printf("\n");
  std::fflush(stdout);

  const std::string_view action = argv[1] != nullptr ? argv[1] : "";
  if (action == "error") runtime_error_stop("probe failure");
  if (action == "raise" && argv[2] != nullptr) {
    raise(std::atoi(argv[2]));
    std::printf("survived\n");
  }
  if (action == "exit" && argv[2] != nullptr) {
    const std::int32_t status = std::atoi(argv[2]);
    program_exit(&status);
  }
  if (action == "exit-absent") program_exit(absent_argument_placeholder + 1);
  if (action == "busy" && argv[2] != nullptr) {
    // Spins until the process has used the given milliseconds of processor time.
    const std::clock_t until = std::clock() + std::atoi(argv[2]) * (CLOCKS_PER_SEC / 1000);
    while (std::clock() < until) {
    }
  }
}

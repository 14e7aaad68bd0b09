/* A program that makes no I/O statement: it links the runtime library alone, and its own
   standard output survives a run-time error. */
#include <stdio.h>

#include "runtime.h"

void MAIN_(int argc, char **argv, char **envp) {
  static const int32_t zero = 0;
  (void)argc;
  (void)argv;
  (void)envp;
  runtime_init(&zero);
  printf("runtime alone\n");
  runtime_error_stop("stop");
}

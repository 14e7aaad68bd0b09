// Test executables have no main program; this stands in when the start-up is linked.
#include "runtime.h"

extern "C" __attribute__((weak)) void MAIN_(int, char**, char**) {}

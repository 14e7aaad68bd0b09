// The process entry, alone in its object so a program can bring its own.
#include "runtime.h"

int main(int argc, char** argv, char** envp) {
  process_main(argc, argv, envp);
}

/* A program of another author: it declares nothing of its own and links the installed runtime. */
#include <string.h>

#include "record_io.h"
#include "runtime.h"

void MAIN_(int argc, char **argv, char **envp) {
  static const int32_t zero = 0, line = 3, unit = 6, type = TYPE_CHARACTER, one = 1;
  static const char text[] = "hello from outside";
  (void)argc;
  (void)argv;
  (void)envp;
  runtime_init(&zero);
  io_source_position(&line, "outside.c", 9);
  ld_write_begin(&unit, 0, &zero, 0);
  ld_write_item(&type, &one, &zero, text, (int32_t)strlen(text));
  ld_write_end();
}

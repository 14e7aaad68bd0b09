/* The runtime's public start-up and termination entry points. Valid C and C++. */
#ifndef RUNTIME_H
#define RUNTIME_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Provided by every program; process_main calls it. */
void MAIN_(int argc, char **argv, char **envp);

void process_main(int argc, char **argv, char **envp); /* never returns */
void runtime_init(const int32_t *ref);
void program_exit(const int32_t *status);       /* never returns */
void runtime_error_stop(const char *message);   /* NUL-terminated or null; never returns */

extern int32_t absent_argument_placeholder[3];

#ifdef __cplusplus
}
#endif

#endif

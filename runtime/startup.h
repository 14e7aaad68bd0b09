// The process-wide start-up state: the saved command line and environment.
#pragma once
#include <cstdint>

namespace runtime {

void save_process_arguments(int argc, char** argv, char** envp);
int saved_argument_count();
// The options cut the vector at their marker; the count follows.
void set_saved_argument_count(int argc);
char** saved_argument_vector();
char** saved_environment();
const char* program_image_name();

// Before the saved copies exist: the initial stack, "TKA_TERM", argv[0].
void startup_hook(int argc, char** argv);
void runtime_exit_handler();

// The smallest power of two not below the count; 1 for a count of 1 or less.
// 64 bits wide: the largest count rounds to 2^31.
std::int64_t rounded_processor_count(std::int32_t processor_count);
std::int64_t rounded_count();

}  // namespace runtime

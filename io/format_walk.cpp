// The routines that variable format expressions name, shared by every formatted statement.
#include "format_walk.h"

namespace io {
namespace {

struct operand_registry {
  std::array<format_operand_routine, max_operand_routines> routines{};
  std::int32_t count = 0;
};
constinit operand_registry registry;

}  // namespace

bool operand_routine_value(std::int32_t index, std::int32_t& value) {
  if (index < 0 || index >= registry.count) return false;
  value = registry.routines[static_cast<std::size_t>(index)]();
  return true;
}

std::int32_t fmt_register_operand(format_operand_routine routine) {
  if (routine == nullptr) return -1;
  for (std::int32_t i = 0; i < registry.count; ++i) {
    if (registry.routines[static_cast<std::size_t>(i)] == routine) return i;
  }
  if (registry.count == max_operand_routines) return -1;
  registry.routines[static_cast<std::size_t>(registry.count)] = routine;
  return registry.count++;
}

}  // namespace io

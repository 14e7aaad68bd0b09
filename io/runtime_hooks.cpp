// Registers the unit table's close and flush with the runtime, which lies below this library.
#include "runtime_hooks.h"

#include "end_hooks.h"
#include "units.h"

namespace io {

void register_end_hooks() { runtime::register_end_hooks(close_all_units, flush_all_units); }

}  // namespace io

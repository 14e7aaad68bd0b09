// The unit of a data-transfer statement, readied for it; part of the statement frame.
#pragma once
#include <cstdint>

#include "positions.h"
#include "units.h"

namespace io {

// Looks the unit up (connecting it when it is not), checks it against the statement and
// readies its records. Null after the error was reported.
unit_connection* unit_for_transfer(std::int32_t number, form_code form, const std::int32_t* record,
                                   transfer_direction direction);

}  // namespace io

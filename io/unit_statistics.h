// The units' figures for the run statistics: kept past each unit's close, reported at the end.
#pragma once
#include <string>

#include "units.h"

namespace io {

// Keeps what the connection moved before the unit table frees it, when "-stat" asks for the
// units' figures. A unit closed again on the same file adds to the same row.
void keep_unit_figures(const unit_connection& connection);

// The runtime's unit report hook: one line per unit that made a transfer, closed or still
// connected, by unit number; `detail` adds the units that made none and a total line.
void report_unit_figures(bool detail, std::string& report);

}  // namespace io

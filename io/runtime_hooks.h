// The record I/O library's part in the runtime's normal and abnormal ends.
#pragma once

namespace io {

// Hands the runtime the unit close for the normal end and the unit flush for the abnormal
// end. Called when the console units are made, before any unit can hold a record.
void register_end_hooks();

}  // namespace io

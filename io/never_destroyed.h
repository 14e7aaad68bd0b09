// Storage for the library's process-wide state records.
#pragma once

namespace io {

// Constant-initialised, so reaching the record costs no first-use check on every call, and
// never destroyed, because the exit handler still runs statements after static destructors.
// Declare it `constinit`.
template <typename T>
union never_destroyed {
  T value;
  constexpr never_destroyed() : value{} {}
  ~never_destroyed() {}
};

}  // namespace io

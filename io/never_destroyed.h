// Storage for the library's process-wide state records.
#pragma once

namespace io {

// A namespace-scope record, so reaching it costs no first-use check on every call, and
// never destroyed, because the exit handler still runs statements after static destructors.
// It is set up before main (at compile time where the library's types allow it), so no
// other static initialiser may use it.
template <typename T>
union never_destroyed {
  T value;
  constexpr never_destroyed() : value{} {}
  ~never_destroyed() {}
};

}  // namespace io

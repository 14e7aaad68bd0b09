// The "-sigmsg" handlers: a one-line message on standard error, then the abnormal end.
#pragma once

namespace runtime {

// Reads "-sigmsg" and installs its handlers. A list item that is not a signal number
// this platform can catch is reported as an invalid value.
void install_signal_messages();

}  // namespace runtime

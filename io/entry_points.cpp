// Every C entry point of the record I/O library, and nothing else.
#include "record_io.h"

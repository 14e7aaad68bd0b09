// Connections made and closed for tests of the unit table and the layers above it, each
// with its errors returned (IOSTAT=) so nothing ends the process.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "open_close.h"
#include "record_io.h"
#include "statement.h"
#include "units.h"

namespace test {

// The status the OPEN statement would return for the request.
inline std::int32_t connect(std::int32_t unit, const io::connect_request& request, std::int32_t& iostat) {
  io::io_statement_begin(unit, SPECIFIER_IOSTAT, &iostat, io::KIND_OPEN);
  const std::int32_t code = io::connect_unit(unit, request);
  return code == 0 ? 0 : io::io_error(code);
}

inline std::int32_t connect(std::int32_t unit, const std::string& name, io::open_status_code status,
                            std::int32_t& iostat) {
  io::connect_request request;
  request.status = status;
  request.name = name;
  return connect(unit, request, iostat);
}

inline std::int32_t connect_direct(std::int32_t unit, const std::string& name, std::int32_t recl) {
  std::int32_t iostat = 0;
  io::connect_request request;
  request.name = name;
  request.access = io::access_code::ACCESS_DIRECT;
  request.recl = recl;
  return connect(unit, request, iostat);
}

inline void close_unit_number(std::int32_t unit) {
  std::int32_t iostat = 0;
  io::close_statement(unit, SPECIFIER_IOSTAT, &iostat, std::nullopt);
}

}  // namespace test

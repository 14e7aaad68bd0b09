// The units' figures for the run statistics: the rows of closed units and the report lines.
#include "unit_statistics.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <vector>

#include "diagnostics.h"
#include "never_destroyed.h"

namespace io {
namespace {

struct unit_row {
  std::int32_t unit_number = 0;
  std::string name;
  unit_figures figures;
};

// Rows of closed units, one per unit number and file: a program that opens and closes the
// same file many times keeps one row for it.
never_destroyed<std::vector<unit_row>> closed_units;

void add_figures(unit_figures& to, const unit_figures& from) {
  to.statements_read += from.statements_read;
  to.statements_written += from.statements_written;
  to.records_read += from.records_read;
  to.records_written += from.records_written;
  to.bytes_read += from.bytes_read;
  to.bytes_written += from.bytes_written;
}

void add_row(std::vector<unit_row>& rows, std::int32_t unit_number, const std::string& name,
             const unit_figures& figures) {
  const auto same = std::find_if(rows.begin(), rows.end(), [&](const unit_row& row) {
    return row.unit_number == unit_number && row.name == name;
  });
  if (same != rows.end()) {
    add_figures(same->figures, figures);
  } else {
    rows.push_back({unit_number, name, figures});
  }
}

bool made_transfers(const unit_figures& figures) {
  return figures.statements_read != 0 || figures.statements_written != 0;
}

void append_line(std::string& report, std::string_view label, const unit_figures& f, std::string_view name) {
  char line[320];
  const int length = std::snprintf(
      line, sizeof line,
      "read %" PRId64 " statements, %" PRId64 " records, %" PRId64 " bytes; "
      "wrote %" PRId64 " statements, %" PRId64 " records, %" PRId64 " bytes",
      f.statements_read, f.records_read, f.bytes_read, f.statements_written, f.records_written,
      f.bytes_written);
  report += label;
  report.append(line, static_cast<std::size_t>(std::max(length, 0)));
  // Last, so that a name with any characters in it still leaves the line readable.
  if (!name.empty()) {
    report += "; file ";
    report += name;
  }
  report += '\n';
}

}  // namespace

void keep_unit_figures(const unit_connection& connection) {
  if (!runtime::unit_statistics_requested()) return;
  add_row(closed_units.value, connection.unit_number, connection.name, connection.figures);
}

void report_unit_figures(bool detail, std::string& report) {
  std::vector<unit_row> rows = closed_units.value;
  for (const unit_connection* u = first_unit(); u != nullptr; u = u->next)
    add_row(rows, u->unit_number, u->name, u->figures);
  std::stable_sort(rows.begin(), rows.end(),
                   [](const unit_row& a, const unit_row& b) { return a.unit_number < b.unit_number; });
  unit_figures total;
  for (const unit_row& row : rows) {
    add_figures(total, row.figures);
    if (!detail && !made_transfers(row.figures)) continue;
    append_line(report, "stat msg: unit " + std::to_string(row.unit_number) + ": ", row.figures, row.name);
  }
  if (detail) append_line(report, "stat msgs: all units: ", total, {});
}

}  // namespace io

// The unit table: the connection pool, console units, connecting, positioning and closing.
#include "units.h"

#include <cassert>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "errors.h"
#include "files.h"
#include "never_destroyed.h"
#include "stream.h"

namespace io {
namespace {

// Connection records come from blocks of this many; blocks are never returned.
constexpr std::size_t pool_block_size = 100;
constexpr std::size_t max_name_length = 255;

struct unit_table {
  unit_connection* unit_list = nullptr;
  unit_connection* free_list = nullptr;
  std::vector<std::unique_ptr<unit_connection[]>> blocks;
  unit_connection* last_opened = nullptr;
  // The connection find_unit returned last: a program names the same unit statement after
  // statement. Only a record in the list with its number is kept here; release clears it.
  unit_connection* last_found = nullptr;
  // Deleted at normal end; the newest name first.
  std::vector<std::string> scratch_file_list;
  bool vaxio = false;
  bool format_relaxed = false;
};

never_destroyed<unit_table> the_table;

unit_table& table() { return the_table.value; }

unit_connection* take_record() {
  auto& t = table();
  if (t.free_list == nullptr) {
    auto block = std::make_unique<unit_connection[]>(pool_block_size);
    for (std::size_t i = 0; i < pool_block_size; ++i) {
      block[i].next = t.free_list;
      t.free_list = &block[i];
    }
    t.blocks.push_back(std::move(block));
  }
  unit_connection* record = t.free_list;
  t.free_list = record->next;
  *record = unit_connection{};
  return record;
}

void push_unit(unit_connection* record) {
  record->next = table().unit_list;
  table().unit_list = record;
}

// Unlinks the record and returns it to the pool; its name goes with it.
void release_record(unit_connection* record) {
  auto& t = table();
  for (unit_connection** link = &t.unit_list; *link != nullptr; link = &(*link)->next) {
    if (*link == record) {
      *link = record->next;
      break;
    }
  }
  if (t.last_opened == record) t.last_opened = nullptr;
  if (t.last_found == record) t.last_found = nullptr;
  *record = unit_connection{};
  record->next = t.free_list;
  t.free_list = record;
}

std::string_view trim_blanks(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return text;
}

std::string default_name(std::int32_t unit, open_status_code status) {
  char variable[16];
  std::snprintf(variable, sizeof variable, "FOR%03d", unit);
  if (const char* value = environment_value(variable)) return value;
  if (status == open_status_code::OPEN_SCRATCH) return make_temporary_name();
  return "fort." + std::to_string(unit);
}

// Opens the file as the OPEN status asks; null with errno set, or an error code in `code`.
std::FILE* open_by_status(const std::string& name, const connect_request& request,
                          std::int32_t& code) {
  code = 0;
  switch (request.status) {
    case open_status_code::OPEN_OLD: {
      if (!file_exists(name)) {
        code = ERROR_OLD_MISSING;
        return nullptr;
      }
      std::FILE* stream = nullptr;
      if (request.action != action_code::ACTION_READ) stream = open_for_update(name);
      return stream != nullptr ? stream : open_for_reading(name);
    }
    case open_status_code::OPEN_NEW:
      if (file_exists(name)) {
        code = ERROR_NEW_EXISTS;
        return nullptr;
      }
      return create_for_update(name);
    case open_status_code::OPEN_UNKNOWN:
      if (file_exists(name)) {
        std::FILE* stream = open_for_update(name);
        return stream != nullptr ? stream : open_for_reading(name);
      }
      return create_for_update(name);
    case open_status_code::OPEN_REPLACE:
    case open_status_code::OPEN_SCRATCH:
      return create_for_update(name);
  }
  return nullptr;
}

// A connected unit named again with the same (or no) file: only BLANK and POSITION apply.
std::int32_t reopen_connected(unit_connection& connection, const connect_request& request) {
  const bool direct = request.access == access_code::ACCESS_DIRECT;
  if ((request.status == open_status_code::OPEN_SCRATCH &&
       connection.kind != unit_kind::KIND_SCRATCH) ||
      request.access != connection.access || request.form != connection.form ||
      (direct && request.recl != connection.record_length / connection.record_length_unit)) {
    return ERROR_CONFLICTING_SPECIFIERS;
  }
  connection.blank = request.blank;
  if (request.raw) connection.raw = true;
  if (connection.stream != nullptr) {
    std::int32_t code = 0;
    if (request.position == position_code::POSITION_REWIND) code = seek(connection.stream, 0, SEEK_SET);
    if (request.position == position_code::POSITION_APPEND) code = seek(connection.stream, 0, SEEK_END);
    if (code != 0) return code;
  }
  table().last_opened = &connection;
  return 0;
}

}  // namespace

bool console_units_exist() { return table().unit_list != nullptr; }

namespace {

// Once per run: kept out of line so the check every statement makes stays short.
[[gnu::noinline]] void make_console_units() {
  auto& t = table();
  struct console_unit {
    std::int32_t number;
    std::FILE* stream;
    const char* name;
    action_code action;
    pad_code pad;
    delim_code delim;
  };
  const console_unit units[] = {
      {-5, stdin, "stdin", action_code::ACTION_READ, pad_code::PAD_YES, delim_code::DELIM_UNSET},
      {-6, stdout, "stdout", action_code::ACTION_WRITE, pad_code::PAD_UNSET, delim_code::DELIM_NONE},
      {5, stdin, "stdin", action_code::ACTION_READ, pad_code::PAD_YES, delim_code::DELIM_UNSET},
      {6, stdout, "stdout", action_code::ACTION_WRITE, pad_code::PAD_UNSET, delim_code::DELIM_NONE},
      {0, stderr, "stderr", action_code::ACTION_WRITE, pad_code::PAD_UNSET, delim_code::DELIM_NONE},
  };
  for (const auto& u : units) {
    unit_connection* record = take_record();
    record->stream = u.stream;
    record->name = u.name;
    record->unit_number = u.number;
    record->record_length_unit = 1;
    record->record_counter = 1;
    record->kind = unit_kind::KIND_FILE;
    record->dispose = dispose_code::DISPOSE_KEEP;
    record->access = access_code::ACCESS_SEQUENTIAL;
    record->action = u.action;
    record->blank = blank_code::BLANK_NULL;
    record->form = form_code::FORM_FORMATTED;
    record->pad = u.pad;
    record->delim = u.delim;
    record->named = true;
    record->console = true;
    push_unit(record);
  }
  const char* options = environment_value("FORTRANOPT");
  const std::string_view words = options != nullptr ? options : "";
  t.vaxio = words.find("vaxio") != std::string_view::npos;
  t.format_relaxed = words.find("format_relaxed") != std::string_view::npos;
}

}  // namespace

void ensure_console_units() {
  if (table().unit_list == nullptr) make_console_units();
}

bool option_vaxio() { return table().vaxio; }
bool option_format_relaxed() { return table().format_relaxed; }

unit_connection* find_unit(std::int32_t number) {
  auto& t = table();
  if (t.last_found != nullptr && t.last_found->unit_number == number) return t.last_found;
  for (unit_connection* u = t.unit_list; u != nullptr; u = u->next) {
    if (u->unit_number == number) {
      t.last_found = u;
      return u;
    }
  }
  return nullptr;
}

unit_connection* last_opened_unit() { return table().last_opened; }

bool match_keyword(std::optional<std::string_view> text, std::string_view keyword) {
  if (!text || text->empty() || text->size() < keyword.size()) return false;
  for (std::size_t i = 0; i < keyword.size(); ++i) {
    char c = (*text)[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != keyword[i]) return false;
  }
  for (std::size_t i = keyword.size(); i < text->size(); ++i) {
    if ((*text)[i] != ' ') return false;
  }
  return true;
}

namespace {

// The connection's name for the request: the FILE= text without its outer blanks, cut to
// the longest name kept. Returns 0 or an error code.
std::int32_t requested_name(std::int32_t unit, const connect_request& request, std::string& name) {
  if (unit < 0) return ERROR_UNIT_NUMBER;
  if (!request.name) return 0;
  const std::string_view trimmed = trim_blanks(*request.name);
  if (trimmed.empty()) return ERROR_FILE_NAME;
  name.assign(trimmed.substr(0, max_name_length));
  for (unit_connection* u = table().unit_list; u != nullptr; u = u->next) {
    if (u->named && u->unit_number != unit && u->name == name) return ERROR_ALREADY_CONNECTED;
  }
  return 0;
}

}  // namespace

unit_connection* connection_replaced_by(std::int32_t unit, const connect_request& request) {
  std::string name;
  if (requested_name(unit, request, name) != 0 || !request.name) return nullptr;
  unit_connection* connected = find_unit(unit);
  return connected != nullptr && connected->name != name ? connected : nullptr;
}

std::int32_t connect_unit(std::int32_t unit, const connect_request& request) {
  auto& t = table();
  std::string name;
  if (const std::int32_t code = requested_name(unit, request, name); code != 0) return code;
  if (unit_connection* connected = find_unit(unit)) {
    assert(!request.name || name == connected->name);
    return reopen_connected(*connected, request);
  }
  if (!request.name) {
    name = default_name(unit, request.status);
    if (name.empty()) return last_error();
  }

  const std::int32_t length_unit = (request.form == form_code::FORM_UNFORMATTED && t.vaxio) ? 4 : 1;
  const std::int64_t record_length = static_cast<std::int64_t>(request.recl) * length_unit;
  // A record length in bytes must fit the connection's 32-bit field.
  if (record_length > INT32_MAX || record_length < 0) return ERROR_ILLEGAL_SPECIFIER;

  errno = 0;
  std::int32_t code = 0;
  std::FILE* stream = open_by_status(name, request, code);
  if (stream == nullptr) return code != 0 ? code : last_error();
  if (request.status == open_status_code::OPEN_SCRATCH) {
    t.scratch_file_list.insert(t.scratch_file_list.begin(), name);
  }

  unit_connection* record = take_record();
  record->stream_buffer = give_stream_buffer(stream);
  record->stream = stream;
  record->raw = request.raw;
  record->unit_number = unit;
  record->action = request.action;
  record->kind = request.status == open_status_code::OPEN_SCRATCH ? unit_kind::KIND_SCRATCH
                                                                   : unit_kind::KIND_FILE;
  record->delim = request.delim;
  record->dispose = request.dispose;
  record->blank = request.blank;
  record->form = request.form;
  record->pad = request.pad;
  record->position = request.position;
  record->record_length_unit = length_unit;
  record->record_length = static_cast<std::int32_t>(record_length);
  record->record_counter = 1;

  const bool existing = request.status == open_status_code::OPEN_OLD ||
                        request.status == open_status_code::OPEN_UNKNOWN;
  std::int32_t seek_error = 0;
  if (request.access == access_code::ACCESS_DIRECT) {
    record->access = access_code::ACCESS_DIRECT;
    if (existing) {
      const std::int64_t size = file_size(stream);
      if (size < 0) {
        seek_error = last_error();
      } else if (record->record_length > 0) {
        record->record_count = static_cast<std::int32_t>(size / record->record_length);
      }
    }
  } else {
    record->access = request.access;
    if (existing && request.position != position_code::POSITION_APPEND) record->truncate_pending = true;
    if (request.position == position_code::POSITION_APPEND) seek_error = seek(stream, 0, SEEK_END);
  }
  if (seek_error != 0) {
    close_file(stream);
    release_record(record);
    return seek_error;
  }
  record->named = request.status != open_status_code::OPEN_SCRATCH;
  record->name = std::move(name);
  push_unit(record);
  t.last_opened = record;
  return 0;
}

std::int32_t disconnect_unit(unit_connection& connection, dispose_code dispose) {
  if (connection.console) return stream::flush(connection.stream);
  std::int32_t code = 0;
  // Out of the connection before the close frees it: a fatal-signal handler walks the units.
  if (connection.stream != nullptr) code = close_file(std::exchange(connection.stream, nullptr));
  if (dispose == dispose_code::DISPOSE_UNSET) dispose = connection.dispose;
  if (connection.kind == unit_kind::KIND_SCRATCH) {
    remove_file(connection.name);
  } else if (dispose == dispose_code::DISPOSE_DELETE && code == 0) {
    if (!file_writable(connection.name)) {
      code = ERROR_READ_ONLY;
    } else {
      remove_file(connection.name);
    }
  }
  return code;
}

void release_unit(unit_connection& connection) { release_record(&connection); }

unit_connection* first_unit() { return table().unit_list; }

void remove_scratch_files() {
  auto& t = table();
  for (const auto& name : t.scratch_file_list) remove_file(name);
  t.scratch_file_list.clear();
}

void flush_all_units() noexcept {
  for (unit_connection* u = table().unit_list; u != nullptr; u = u->next) {
    if (u->stream != nullptr) stream::flush(u->stream);
  }
  std::fflush(stdout);
  std::fflush(stderr);
}

// A connection is in the list only once its stream is set, so the walk may meet any of them.
// Standard error is unbuffered; standard output may hold bytes written without a unit.
void push_all_units_at_signal() noexcept {
  for (unit_connection* u = table().unit_list; u != nullptr; u = u->next) {
    if (u->stream != nullptr) stream::push_at_signal(u->stream);
  }
  stream::push_at_signal(stdout);
}

void set_extended_attributes(unit_connection& connection, const extended_attributes& attributes) {
  connection.encoding = attributes.encoding;
  connection.decimal = attributes.decimal;
  connection.round = attributes.round;
  connection.sign = attributes.sign;
}

}  // namespace io

// The unit table: the connection pool, console units, connecting, positioning and closing.
#include "units.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "never_destroyed.h"
#include "records.h"
#include "runtime_hooks.h"
#include "statement.h"

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

// --- platform layer: files by name ---

bool file_exists(const std::string& name) { return ::access(name.c_str(), F_OK) == 0; }
bool file_writable(const std::string& name) { return ::access(name.c_str(), W_OK) == 0; }

// A directory is never a file of records. Linux opens one for reading, and the failure would
// only come at the first transfer, with a text that does not say why; refuse it at the open.
std::FILE* refuse_directory(std::FILE* stream) {
  struct stat info {};
  if (stream != nullptr && ::fstat(::fileno(stream), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(stream);
    errno = EISDIR;
    return nullptr;
  }
  return stream;
}

// Binary modes throughout: the library writes and reads record terminators itself.
std::FILE* open_for_reading(const std::string& name) {
  return refuse_directory(std::fopen(name.c_str(), "rb"));
}
std::FILE* open_for_update(const std::string& name) { return std::fopen(name.c_str(), "r+b"); }
std::FILE* create_for_update(const std::string& name) { return std::fopen(name.c_str(), "w+b"); }

// A unique new file "FTN" + suffix in the temporary directory; empty on failure.
std::string make_temporary_name() {
  const char* directory = std::getenv("TMP");
  std::string pattern = (directory != nullptr && directory[0] != '\0') ? directory : "/tmp";
  if (pattern.back() != '/') pattern += '/';
  pattern += "FTNXXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return {};
  ::close(fd);
  return pattern;
}

// File records are short and many: with the default buffer of one disk block every few
// hundred records cost a system call. Without memory for it the stream keeps its own.
constexpr std::size_t file_buffer_size = std::size_t{1} << 16;

void give_stream_buffer(unit_connection& record, std::FILE* stream) {
  record.stream_buffer.reset(new (std::nothrow) char[file_buffer_size]);
  if (record.stream_buffer != nullptr &&
      std::setvbuf(stream, record.stream_buffer.get(), _IOFBF, file_buffer_size) != 0) {
    record.stream_buffer.reset();
  }
}

std::int32_t seek(std::FILE* stream, std::int64_t offset, int whence) {
  return ::fseeko(stream, static_cast<off_t>(offset), whence) == 0 ? 0 : last_error();
}

// -1 with errno set when the buffered bytes cannot be written: the stream drops them, so
// going on with the size would lose them without a word.
std::int64_t file_size(std::FILE* stream) {
  errno = 0;
  if (std::fflush(stream) != 0) return -1;
  struct stat info {};
  if (::fstat(::fileno(stream), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

std::string_view trim_blanks(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return text;
}

std::string default_name(std::int32_t unit, open_status_code status) {
  char variable[16];
  std::snprintf(variable, sizeof variable, "FOR%03d", unit);
  if (const char* value = std::getenv(variable)) return value;
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
    return io_error(ERROR_CONFLICTING_SPECIFIERS);
  }
  connection.blank = request.blank;
  if (connection.stream != nullptr) {
    std::int32_t code = 0;
    if (request.position == position_code::POSITION_REWIND) code = seek(connection.stream, 0, SEEK_SET);
    if (request.position == position_code::POSITION_APPEND) code = seek(connection.stream, 0, SEEK_END);
    if (code != 0) return io_error(code);
  }
  table().last_opened = &connection;
  return 0;
}

std::int32_t apply_pending_pos(unit_connection& connection) {
  auto& state = statement();
  state.pos_pending = false;
  // POS= counts bytes from 1.
  const std::int64_t offset = state.pos_value > 0 ? state.pos_value - 1 : 0;
  if (const std::int32_t code = seek(connection.stream, offset, SEEK_SET); code != 0) return code;
  connection.last_direction = last_transfer::LAST_NONE;
  return 0;
}

// Places a direct-access unit at its record. Returns 0 or an error code for io_error.
std::int32_t position_direct(unit_connection& connection, const std::int32_t* record,
                             transfer_direction direction) {
  if (record != nullptr && *record < 0) return ERROR_DIRECT_ACCESS;
  const std::int32_t number = (record != nullptr && *record != 0) ? *record : connection.record_counter;
  // The record counter goes one past the record, so the last 32-bit number has no room.
  if (number == INT32_MAX) {
    return direction == transfer_direction::DIRECTION_READ ? ERROR_NO_RECORD : ERROR_DIRECT_ACCESS;
  }
  const std::int64_t length = connection.record_length;
  if (direction == transfer_direction::DIRECTION_READ && number > connection.record_count) {
    const std::int64_t size = file_size(connection.stream);
    if (size < 0) return last_error();
    if (length > 0) connection.record_count = static_cast<std::int32_t>(size / length);
    if (number > connection.record_count) {
      connection.record_counter = number + 1;
      return ERROR_NO_RECORD;
    }
  }
  const std::int64_t start = (static_cast<std::int64_t>(number) - 1) * length;
  if (direction == transfer_direction::DIRECTION_WRITE) {
    const std::int64_t size = file_size(connection.stream);
    if (size < 0) return last_error();
    // Records before the one written read as zero bytes: extend the file in one step,
    // however far, instead of writing the gap byte by byte.
    if (size < start && ::ftruncate(::fileno(connection.stream), static_cast<off_t>(start)) != 0) {
      return last_error();
    }
  }
  if (const std::int32_t code = seek(connection.stream, start, SEEK_SET); code != 0) return code;
  const bool formatted_read = direction == transfer_direction::DIRECTION_READ &&
                              connection.form == form_code::FORM_FORMATTED;
  connection.record_counter = formatted_read ? number : number + 1;
  if (connection.record_count < number) connection.record_count = number;
  connection.last_direction = last_transfer::LAST_NONE;
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
  const char* options = std::getenv("FORTRANOPT");
  const std::string_view words = options != nullptr ? options : "";
  t.vaxio = words.find("vaxio") != std::string_view::npos;
  t.format_relaxed = words.find("format_relaxed") != std::string_view::npos;
  register_end_hooks();
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

std::int32_t connect_unit(std::int32_t unit, const connect_request& request) {
  if (unit < 0) return io_error(ERROR_UNIT_NUMBER);
  auto& t = table();
  std::string name;
  if (request.name) {
    const std::string_view trimmed = trim_blanks(*request.name);
    if (trimmed.empty()) return io_error(ERROR_FILE_NAME);
    name.assign(trimmed.substr(0, max_name_length));
    for (unit_connection* u = t.unit_list; u != nullptr; u = u->next) {
      if (u->named && u->unit_number != unit && u->name == name) {
        return io_error(ERROR_ALREADY_CONNECTED);
      }
    }
  }
  if (unit_connection* connected = find_unit(unit)) {
    if (!request.name || name == connected->name) return reopen_connected(*connected, request);
    if (const std::int32_t status = disconnect_unit(*connected, dispose_code::DISPOSE_UNSET); status != 0) {
      return status;
    }
  }
  if (!request.name) {
    name = default_name(unit, request.status);
    if (name.empty()) return io_error(last_error());
  }

  const std::int32_t length_unit = (request.form == form_code::FORM_UNFORMATTED && t.vaxio) ? 4 : 1;
  const std::int64_t record_length = static_cast<std::int64_t>(request.recl) * length_unit;
  // A record length in bytes must fit the connection's 32-bit field.
  if (record_length > INT32_MAX || record_length < 0) return io_error(ERROR_ILLEGAL_SPECIFIER);

  errno = 0;
  std::int32_t code = 0;
  std::FILE* stream = open_by_status(name, request, code);
  if (stream == nullptr) return io_error(code != 0 ? code : last_error());
  if (request.status == open_status_code::OPEN_SCRATCH) {
    t.scratch_file_list.insert(t.scratch_file_list.begin(), name);
  }

  unit_connection* record = take_record();
  give_stream_buffer(*record, stream);
  record->stream = stream;
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
    std::fclose(stream);
    release_record(record);
    return io_error(seek_error);
  }
  record->named = request.status != open_status_code::OPEN_SCRATCH;
  record->name = std::move(name);
  push_unit(record);
  t.last_opened = record;
  return 0;
}

std::int32_t disconnect_unit(unit_connection& connection, dispose_code dispose) {
  if (connection.record_open) {
    connection.record_open = false;
    // What a non-advancing write left after its position still belongs to the record.
    std::int32_t code = write_record_bytes(connection, connection.partial_record);
    connection.partial_record.clear();
    if (code == 0) code = write_record_terminator(connection);
    if (code != 0) return io_error(code);
  }
  if (connection.console) {
    if (std::fflush(connection.stream) != 0) return io_error(last_error());
    release_record(&connection);
    return 0;
  }
  std::int32_t status = 0;
  if (connection.stream != nullptr && std::fclose(connection.stream) != 0) {
    connection.stream = nullptr;
    status = io_error(last_error());
  }
  connection.stream = nullptr;
  if (dispose == dispose_code::DISPOSE_UNSET) dispose = connection.dispose;
  if (connection.kind == unit_kind::KIND_SCRATCH) {
    std::remove(connection.name.c_str());
  } else if (dispose == dispose_code::DISPOSE_DELETE && status == 0) {
    if (!file_writable(connection.name)) {
      status = io_error(ERROR_READ_ONLY);
    } else {
      std::remove(connection.name.c_str());
    }
  }
  release_record(&connection);
  return status;
}

void close_all_units() {
  auto& t = table();
  for (unit_connection* u = t.unit_list; u != nullptr;) {
    unit_connection* next = u->next;
    // A failure here is reported like any statement's, against the unit being closed.
    io_statement_begin(u->unit_number, 0, nullptr, KIND_CLOSE);
    if (u->stream != nullptr && std::fflush(u->stream) != 0) io_error(last_error());
    if (!u->console) disconnect_unit(*u, dispose_code::DISPOSE_UNSET);
    u = next;
  }
  for (const auto& name : t.scratch_file_list) std::remove(name.c_str());
  t.scratch_file_list.clear();
}

void flush_all_units() noexcept {
  for (unit_connection* u = table().unit_list; u != nullptr; u = u->next) {
    if (u->stream != nullptr) std::fflush(u->stream);
  }
  std::fflush(stdout);
  std::fflush(stderr);
}

namespace {

// Every case but the common one: a new connection, direct or stream access, POS=, an
// error, a change of direction, a pending truncation.
[[gnu::noinline]] unit_connection* prepare_unit(std::int32_t number, form_code form,
                                                const std::int32_t* record,
                                                transfer_direction direction) {
  auto& state = statement();
  const bool reading = direction == transfer_direction::DIRECTION_READ;
  unit_connection* connection = find_unit(number);
  if (connection == nullptr) {
    connect_request request;
    request.status = reading ? open_status_code::OPEN_OLD : open_status_code::OPEN_UNKNOWN;
    request.access = state.pos_pending ? access_code::ACCESS_STREAM : access_code::ACCESS_SEQUENTIAL;
    request.form = form;
    if (connect_unit(number, request) != 0) return nullptr;
    connection = find_unit(number);
    if (connection->access == access_code::ACCESS_STREAM && form == form_code::FORM_UNFORMATTED) {
      connection->raw = true;
    }
  } else {
    if (state.pos_pending && connection->access != access_code::ACCESS_STREAM) {
      state.pos_pending = false;
      io_error(ERROR_POS_NOT_STREAM);
      return nullptr;
    }
    if (!reading && connection->action == action_code::ACTION_READ) {
      io_error(ERROR_READ_ONLY);
      return nullptr;
    }
    if (reading && connection->action == action_code::ACTION_WRITE) {
      io_error(ERROR_WRITE_ONLY);
      return nullptr;
    }
    if (connection->eof_taken && reading) {
      io_error(ERROR_AFTER_END_OF_FILE);
      return nullptr;
    }
    connection->eof_taken = false;
    if (form != connection->form && direction != transfer_direction::DIRECTION_POSITION) {
      io_error(ERROR_FORM_CONFLICT);
      return nullptr;
    }
    if (connection->access == access_code::ACCESS_DIRECT) {
      if (const std::int32_t code = position_direct(*connection, record, direction); code != 0) {
        io_error(code);
        return nullptr;
      }
    }
  }

  if (state.pos_pending) {
    if (const std::int32_t code = apply_pending_pos(*connection); code != 0) {
      io_error(code);
      return nullptr;
    }
  }

  if (connection->access == access_code::ACCESS_SEQUENTIAL) {
    connection->statement_position = 0;
    if (record != nullptr) {
      io_error(ERROR_CONFLICTING_SPECIFIERS);
      return nullptr;
    }
    if (direction == transfer_direction::DIRECTION_WRITE && connection->truncate_pending) {
      connection->truncate_pending = false;
      const std::int64_t here = ::ftello(connection->stream);
      std::int32_t code = here < 0 ? last_error() : seek(connection->stream, 0, SEEK_END);
      const std::int64_t end = code == 0 ? ::ftello(connection->stream) : here;
      if (code == 0 && end != here) {
        code = seek(connection->stream, here, SEEK_SET);
        if (code == 0 && truncate_unit_file(*connection, here) != 0) return nullptr;
      }
      if (code != 0) {
        io_error(code);
        return nullptr;
      }
    }
    if (reading) connection->truncate_pending = true;
    if (direction == transfer_direction::DIRECTION_WRITE) ++connection->record_counter;
  } else if (connection->access == access_code::ACCESS_STREAM) {
    connection->statement_position = 0;
  }

  if (direction != transfer_direction::DIRECTION_POSITION) {
    const last_transfer now = reading ? last_transfer::LAST_READ : last_transfer::LAST_WRITE;
    if (connection->last_direction != last_transfer::LAST_NONE && connection->last_direction != now &&
        !connection->console) {
      // The stream library needs a seek between a read and a write on one stream.
      if (const std::int32_t code = seek(connection->stream, 0, SEEK_CUR); code != 0) {
        io_error(code);
        return nullptr;
      }
      connection->statement_position = 0;
    }
    connection->last_direction = now;
  }
  return connection;
}

}  // namespace

// The common statement: a connected sequential unit of the statement's form, used in the
// same direction as last time, with nothing pending. What prepare_unit would do for it
// comes down to these few stores.
unit_connection* unit_for_transfer(std::int32_t number, form_code form, const std::int32_t* record,
                                   transfer_direction direction) {
  const unit_table& t = table();
  unit_connection* connection = t.last_found;
  if (connection != nullptr && connection->unit_number == number && record == nullptr &&
      !statement().pos_pending && connection->access == access_code::ACCESS_SEQUENTIAL &&
      connection->form == form) {
    if (direction == transfer_direction::DIRECTION_READ) {
      if (connection->last_direction == last_transfer::LAST_READ && !connection->eof_taken &&
          connection->action != action_code::ACTION_WRITE) {
        connection->statement_position = 0;
        connection->truncate_pending = true;
        return connection;
      }
    } else if (direction == transfer_direction::DIRECTION_WRITE) {
      if (connection->last_direction == last_transfer::LAST_WRITE && !connection->truncate_pending &&
          connection->action != action_code::ACTION_READ) {
        connection->eof_taken = false;
        connection->statement_position = 0;
        ++connection->record_counter;
        return connection;
      }
    }
  }
  return prepare_unit(number, form, record, direction);
}

std::int32_t truncate_unit_file(unit_connection& connection, std::int64_t position) {
  // Cut in place: the bytes before the position never leave the file.
  if (std::fflush(connection.stream) != 0) return io_error(last_error());
  if (::ftruncate(::fileno(connection.stream), static_cast<off_t>(position)) != 0) {
    return io_error(last_error());
  }
  if (const std::int32_t code = seek(connection.stream, position, SEEK_SET); code != 0) {
    return io_error(code);
  }
  if (position > 0) {
    connection.last_direction = last_transfer::LAST_WRITE;
  } else {
    connection.record_counter = 1;
    connection.truncate_pending = false;
    connection.last_direction = last_transfer::LAST_NONE;
    connection.eof_taken = false;
  }
  return 0;
}

}  // namespace io

// The OPEN and CLOSE statements: their specifiers decoded and checked, on top of
// connect_unit and disconnect_unit.
#include "open_close.h"

#include <cstddef>

#include "end_hooks.h"
#include "records.h"
#include "statement.h"
#include "stream.h"
#include "unit_statistics.h"
#include "units.h"

namespace io {
namespace {

template <class Value>
struct keyword_value {
  std::string_view keyword;
  Value value;
};

// ACCESS="APPEND" is a sequential connection positioned at the end.
struct access_choice {
  access_code access;
  position_code position;
};
// FORM="BINARY" is unformatted without record framing.
struct form_choice {
  form_code form;
  bool raw;
};

using enum access_code;
using enum action_code;
using enum form_code;
using enum delim_code;
using enum blank_code;
using enum pad_code;
using enum position_code;
using enum open_status_code;
using enum dispose_code;
using enum encoding_code;
using enum decimal_code;
using enum round_code;
using enum sign_code;

constexpr keyword_value<access_choice> access_keywords[] = {
    {"SEQUENTIAL", {ACCESS_SEQUENTIAL, POSITION_ASIS}},
    {"DIRECT", {ACCESS_DIRECT, POSITION_ASIS}},
    {"STREAM", {ACCESS_STREAM, POSITION_ASIS}},
    {"APPEND", {ACCESS_SEQUENTIAL, POSITION_APPEND}},
};
static_assert(std::size(access_keywords) == 4);

constexpr keyword_value<action_code> action_keywords[] = {
    {"READ", ACTION_READ}, {"WRITE", ACTION_WRITE}, {"READWRITE", ACTION_READWRITE}};
static_assert(std::size(action_keywords) == 3);

constexpr keyword_value<form_choice> form_keywords[] = {
    {"FORMATTED", {FORM_FORMATTED, false}},
    {"UNFORMATTED", {FORM_UNFORMATTED, false}},
    {"BINARY", {FORM_UNFORMATTED, true}},
};
static_assert(std::size(form_keywords) == 3);

constexpr keyword_value<delim_code> delim_keywords[] = {
    {"APOSTROPHE", DELIM_APOSTROPHE}, {"QUOTE", DELIM_QUOTE}, {"NONE", DELIM_NONE}};
static_assert(std::size(delim_keywords) == 3);

constexpr keyword_value<blank_code> blank_keywords[] = {{"ZERO", BLANK_ZERO}, {"NULL", BLANK_NULL}};
static_assert(std::size(blank_keywords) == 2);

constexpr keyword_value<pad_code> pad_keywords[] = {{"YES", PAD_YES}, {"NO", PAD_NO}};
static_assert(std::size(pad_keywords) == 2);

constexpr keyword_value<position_code> position_keywords[] = {
    {"ASIS", POSITION_ASIS}, {"REWIND", POSITION_REWIND}, {"APPEND", POSITION_APPEND}};
static_assert(std::size(position_keywords) == 3);

// Tried in this order.
constexpr keyword_value<open_status_code> status_keywords[] = {
    {"OLD", OPEN_OLD}, {"NEW", OPEN_NEW}, {"REPLACE", OPEN_REPLACE},
    {"UNKNOWN", OPEN_UNKNOWN}, {"SCRATCH", OPEN_SCRATCH}};
static_assert(std::size(status_keywords) == 5);

// OPEN DISPOSE= and CLOSE STATUS= share these.
constexpr keyword_value<dispose_code> dispose_keywords[] = {
    {"KEEP", DISPOSE_KEEP}, {"SAVE", DISPOSE_KEEP}, {"DELETE", DISPOSE_DELETE}};
static_assert(std::size(dispose_keywords) == 3);

constexpr keyword_value<encoding_code> encoding_keywords[] = {
    {"UTF-8", ENCODING_UTF8}, {"DEFAULT", ENCODING_DEFAULT}};
static_assert(std::size(encoding_keywords) == 2);

constexpr keyword_value<decimal_code> decimal_keywords[] = {
    {"COMMA", DECIMAL_COMMA}, {"POINT", DECIMAL_POINT}};
static_assert(std::size(decimal_keywords) == 2);

constexpr keyword_value<round_code> round_keywords[] = {
    {"UP", ROUND_UP},
    {"DOWN", ROUND_DOWN},
    {"ZERO", ROUND_ZERO},
    {"NEAREST", ROUND_NEAREST},
    {"COMPATIBLE", ROUND_COMPATIBLE},
    {"PROCESSOR_DEFINED", ROUND_PROCESSOR_DEFINED},
};
static_assert(std::size(round_keywords) == 6);

constexpr keyword_value<sign_code> sign_keywords[] = {
    {"PLUS", SIGN_PLUS}, {"SUPPRESS", SIGN_SUPPRESS}, {"PROCESSOR_DEFINED", SIGN_PROCESSOR_DEFINED}};
static_assert(std::size(sign_keywords) == 3);

// The value of the first keyword the text matches; nullopt when it matches none.
template <class Value, std::size_t N>
std::optional<Value> find_keyword(std::string_view text, const keyword_value<Value> (&table)[N]) {
  for (const auto& entry : table) {
    if (match_keyword(text, entry.keyword)) return entry.value;
  }
  return std::nullopt;
}

// A given specifier replaces `value` when it names a keyword; 0 or an error code.
template <class Value, std::size_t N>
std::int32_t decode(std::optional<std::string_view> text, const keyword_value<Value> (&table)[N],
                    Value& value) {
  if (!text) return 0;
  const std::optional<Value> found = find_keyword(*text, table);
  if (!found) return ERROR_ILLEGAL_SPECIFIER;
  value = *found;
  return 0;
}

// The attribute becomes the given value, or the default when none is given; a value that
// names no keyword leaves it as it was. 0 or an error code.
template <class Value, std::size_t N>
std::int32_t set_attribute(std::optional<std::string_view> text, const keyword_value<Value> (&table)[N],
                           Value default_value, Value& attribute) {
  Value value = default_value;
  if (const auto code = decode(text, table, value); code != 0) return code;
  attribute = value;
  return 0;
}

struct open_decoding {
  connect_request request;
  bool raw = false;
};

// Every specifier of an OPEN in its order, with the checks between them. 0 or an error code.
std::int32_t decode_open(const open_specifiers& specifiers, open_decoding& out) {
  connect_request& request = out.request;
  access_choice access{ACCESS_SEQUENTIAL, POSITION_ASIS};
  if (const auto code = decode(specifiers.access, access_keywords, access); code != 0) return code;
  request.access = access.access;
  request.position = access.position;

  request.action = ACTION_READWRITE;
  if (const auto code = decode(specifiers.action, action_keywords, request.action); code != 0) {
    return code;
  }

  form_choice form{request.access == ACCESS_DIRECT ? FORM_UNFORMATTED : FORM_FORMATTED, false};
  if (const auto code = decode(specifiers.form, form_keywords, form); code != 0) return code;
  request.form = form.form;
  out.raw = form.raw;
  request.raw = form.raw;

  // DELIM, BLANK and PAD describe formatted records only.
  const bool formatted = request.form == FORM_FORMATTED;
  request.delim = DELIM_NONE;
  if (specifiers.delim && !formatted) return ERROR_CONFLICTING_SPECIFIERS;
  if (const auto code = decode(specifiers.delim, delim_keywords, request.delim); code != 0) return code;
  request.blank = BLANK_NULL;
  if (specifiers.blank && !formatted) return ERROR_CONFLICTING_SPECIFIERS;
  if (const auto code = decode(specifiers.blank, blank_keywords, request.blank); code != 0) return code;
  request.pad = PAD_YES;
  if (specifiers.pad && !formatted) return ERROR_CONFLICTING_SPECIFIERS;
  if (const auto code = decode(specifiers.pad, pad_keywords, request.pad); code != 0) return code;

  if (specifiers.position && request.access != ACCESS_SEQUENTIAL) return ERROR_CONFLICTING_SPECIFIERS;
  if (const auto code = decode(specifiers.position, position_keywords, request.position); code != 0) {
    return code;
  }

  request.status = OPEN_UNKNOWN;
  if (const auto code = decode(specifiers.status, status_keywords, request.status); code != 0) {
    return code;
  }
  const bool scratch = request.status == OPEN_SCRATCH;
  request.dispose = scratch ? DISPOSE_DELETE : DISPOSE_KEEP;
  if (const auto code = decode(specifiers.dispose, dispose_keywords, request.dispose); code != 0) {
    return code;
  }

  request.recl = 0;
  if (request.access == ACCESS_DIRECT) {
    if (specifiers.recl == nullptr || *specifiers.recl < 1) return ERROR_RECL_REQUIRED;
    request.recl = *specifiers.recl;
  }

  if (scratch && request.dispose == DISPOSE_KEEP) return ERROR_SCRATCH_KEEP;
  if (scratch && specifiers.file) return ERROR_SCRATCH_NAMED;
  if (request.action == ACTION_READ &&
      (scratch || request.status == OPEN_REPLACE || request.dispose == DISPOSE_DELETE)) {
    return ERROR_READ_ONLY;
  }
  // Checked before connecting, so a refused OPEN leaves no connection behind.
  if (out.raw && request.access == ACCESS_DIRECT) return ERROR_ILLEGAL_SPECIFIER;
  request.name = specifiers.file;
  return 0;
}

// A record left open is ended, then the file closed and the connection freed; a console
// unit whose stream cannot be flushed stays. Returns 0 or the status of io_error, which
// reports while the connection can still be named.
std::int32_t close_connection(unit_connection& connection, dispose_code dispose) {
  if (const std::int32_t code = end_open_record(connection); code != 0) return io_error(code);
  const std::int32_t code = disconnect_unit(connection, dispose);
  if (code != 0 && connection.console) return io_error(code);
  const std::int32_t status = code != 0 ? io_error(code) : 0;
  keep_unit_figures(connection);
  release_unit(connection);
  return status;
}

}  // namespace

std::int32_t open_statement(std::int32_t unit, std::int32_t flags, std::int32_t* iostat,
                            const open_specifiers& specifiers) {
  io_statement_begin(unit, flags, iostat, KIND_OPEN);
  auto& state = statement();
  if (specifiers.file) {
    state.open_file_name.assign(*specifiers.file);
    state.open_file_name_set = true;
  }
  open_decoding decoded;
  if (const std::int32_t code = decode_open(specifiers, decoded); code != 0) return io_error(code);
  connect_request& request = decoded.request;
  if (request.access == ACCESS_STREAM && request.form == FORM_UNFORMATTED) request.raw = true;
  // Another file on the unit: that connection is closed first.
  if (unit_connection* replaced = connection_replaced_by(unit, request)) {
    if (const std::int32_t status = close_connection(*replaced, DISPOSE_UNSET); status != 0) return status;
  }
  if (const std::int32_t code = connect_unit(unit, request); code != 0) return io_error(code);
  return 0;
}

std::int32_t open_extended(std::int32_t open_status, const extended_specifiers& specifiers) {
  if (open_status != 0) return open_status;
  unit_connection* connection = last_opened_unit();
  // Without a connection (the OPEN's unit was closed since) there is nothing formatted to set.
  if (connection == nullptr || connection->form != FORM_FORMATTED) {
    return io_error(ERROR_CONFLICTING_SPECIFIERS);
  }
  // In this order, each set before the next is decoded: a refused value keeps the earlier ones.
  extended_attributes attributes{connection->encoding, connection->decimal, connection->round,
                                 connection->sign};
  std::int32_t code = set_attribute(specifiers.encoding, encoding_keywords, ENCODING_DEFAULT,
                                    attributes.encoding);
  if (code == 0) {
    code = set_attribute(specifiers.decimal, decimal_keywords, DECIMAL_POINT, attributes.decimal);
  }
  if (code == 0) {
    code = set_attribute(specifiers.round, round_keywords, ROUND_PROCESSOR_DEFINED, attributes.round);
  }
  if (code == 0) {
    code = set_attribute(specifiers.sign, sign_keywords, SIGN_PROCESSOR_DEFINED, attributes.sign);
  }
  set_extended_attributes(*connection, attributes);
  return code == 0 ? 0 : io_error(code);
}

std::int32_t close_statement(std::int32_t unit, std::int32_t flags, std::int32_t* iostat,
                             std::optional<std::string_view> status) {
  io_statement_begin(unit, flags, iostat, KIND_CLOSE);
  if (unit < 0) return io_error(ERROR_UNIT_NUMBER);
  unit_connection* connection = find_unit(unit);
  if (connection == nullptr) return 0;
  dispose_code dispose = DISPOSE_UNSET;
  if (const auto code = decode(status, dispose_keywords, dispose); code != 0) return io_error(code);
  if (dispose == DISPOSE_DELETE && connection->action == ACTION_READ) {
    return io_error(ERROR_READ_ONLY);
  }
  if (dispose == DISPOSE_KEEP && connection->kind == unit_kind::KIND_SCRATCH) {
    return io_error(ERROR_CONFLICTING_SPECIFIERS);
  }
  return close_connection(*connection, dispose);
}

namespace {

// The library's part in the runtime's two ends and its units' statistics, handed over as
// the program starts. Every program that makes a statement links this file: the entry
// points' object calls OPEN and CLOSE.
[[maybe_unused]] const bool end_hooks_registered =
    (runtime::register_end_hooks(close_all_units, flush_all_units),
     runtime::register_unit_report_hook(report_unit_figures),
     runtime::register_signal_end_hook(push_all_units_at_signal), true);

}  // namespace

void close_all_units() {
  for (unit_connection* u = first_unit(); u != nullptr;) {
    unit_connection* next = u->next;
    // A failure here is reported like any statement's, against the unit being closed.
    io_statement_begin(u->unit_number, 0, nullptr, KIND_CLOSE);
    if (u->stream != nullptr) {
      if (const std::int32_t code = stream::flush(u->stream); code != 0) io_error(code);
    }
    if (!u->console) close_connection(*u, DISPOSE_UNSET);
    u = next;
  }
  remove_scratch_files();
}

}  // namespace io

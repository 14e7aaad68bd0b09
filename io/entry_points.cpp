// Every C entry point of the record I/O library, and nothing else.
#include <array>

#include "arguments.h"
#include "format_input.h"
#include "format_output.h"
#include "format_text.h"
#include "list_input.h"
#include "list_output.h"
#include "open_close.h"
#include "record_io.h"
#include "statement.h"

using std::int32_t;
using std::int64_t;
using std::uint32_t;

namespace {
// Counts and strides of an item are references; an omitted count means one element.
int32_t count_arg(const int32_t* count) { return io::is_absent(count) ? 1 : *count; }
int32_t stride_arg(const int32_t* stride) { return io::is_absent(stride) ? 0 : *stride; }
int32_t type_arg(const int32_t* type) { return io::is_absent(type) ? 0 : *type; }
const int32_t* record_arg(const int32_t* rec) { return io::reference_arg(rec); }
// A scalar travels in one word; a caller naming a wider type reads zeros, never past it.
std::array<uint32_t, 4> scalar_storage(uint32_t word) { return {word, 0, 0, 0}; }
// An omitted unit is no valid unit: the statement reports 212 instead of reading nowhere.
int32_t unit_arg(const int32_t* unit) { return io::is_absent(unit) ? -1 : *unit; }
}  // namespace

extern "C" {

void io_source_position(const int32_t* line, const char* file, int32_t file_len) {
  io::io_source_position(io::is_absent(line) ? 0 : *line, io::text_arg(file, file_len).value_or(""));
}

void io_set_pos(int32_t flags, int64_t position) { io::io_set_pos(flags, position); }

void io_set_iomsg(char* buffer, int32_t length) { io::io_set_iomsg(buffer, length); }

void io_set_size(int32_t* size) { io::io_set_size(io::reference_arg(size)); }

void io_set_format_text(const char* text, int32_t length) {
  io::set_statement_format_text(io::text_arg(text, length).value_or(""));
}

int32_t ld_write_begin(const int32_t* unit, const int32_t* rec, const int32_t* flags, int32_t* iostat) {
  return io::ld_write_begin(unit_arg(unit), record_arg(rec), io::flags_arg(flags), io::reference_arg(iostat));
}

int32_t ld_write_item(const int32_t* type, const int32_t* count, const int32_t* stride,
                      const void* address, int32_t length) {
  return io::ld_write_item(type_arg(type), count_arg(count), stride_arg(stride), address, length);
}

int32_t ld_write_scalar(uint32_t word, int32_t type) {
  const auto value = scalar_storage(word);
  return io::ld_write_item(type, 1, 0, value.data(), 0);
}

int32_t ld_write_end(void) { return io::ld_write_end(); }

int32_t ld_internal_write_begin(char* variable, const int32_t* record_count, const int32_t* flags,
                                int32_t* iostat, int32_t record_length) {
  return io::ld_internal_write_begin(variable, count_arg(record_count), io::flags_arg(flags),
                                     io::reference_arg(iostat), record_length);
}

int32_t ld_read_begin(const int32_t* unit, const int32_t* rec, const int32_t* flags, int32_t* iostat) {
  return io::ld_read_begin(unit_arg(unit), record_arg(rec), io::flags_arg(flags), io::reference_arg(iostat));
}

int32_t ld_read_item(const int32_t* type, const int32_t* count, const int32_t* stride,
                     void* address, int32_t length) {
  return io::ld_read_item(type_arg(type), count_arg(count), stride_arg(stride), address, length);
}

int32_t ld_read_end(void) { return io::ld_read_end(); }

int32_t ld_internal_read_begin(const char* variable, const int32_t* record_count,
                               const int32_t* flags, int32_t* iostat, int32_t record_length) {
  return io::ld_internal_read_begin(variable, count_arg(record_count), io::flags_arg(flags),
                                    io::reference_arg(iostat), record_length);
}

int32_t fmt_write_begin(const int32_t* unit, const int32_t* rec, const int32_t* flags,
                        int32_t* iostat, const int32_t* format, const char* advance,
                        int32_t advance_len) {
  return io::fmt_write_begin(unit_arg(unit), record_arg(rec), io::flags_arg(flags), io::reference_arg(iostat),
                             io::reference_arg(format), io::text_arg(advance, advance_len));
}

int32_t fmt_write_item(const int32_t* type, const int32_t* count, const int32_t* stride,
                       const void* address, int32_t length) {
  return io::fmt_write_item(type_arg(type), count_arg(count), stride_arg(stride), address, length);
}

int32_t fmt_write_scalar(uint32_t word, int32_t type) {
  const auto value = scalar_storage(word);
  return io::fmt_write_item(type, 1, 0, value.data(), 0);
}

int32_t fmt_write_complex8(uint32_t real_word, uint32_t imaginary_word) {
  const uint32_t parts[2] = {real_word, imaginary_word};
  return io::fmt_write_item(TYPE_REAL4, 2, sizeof parts[0], parts, 0);
}

int32_t fmt_write_complex16(double real_part, double imaginary_part) {
  const double parts[2] = {real_part, imaginary_part};
  return io::fmt_write_item(TYPE_REAL8, 2, sizeof parts[0], parts, 0);
}

int32_t fmt_write_end(void) { return io::fmt_write_end(); }

int32_t fmt_internal_write_begin(char* variable, const int32_t* record_count, const int32_t* flags,
                                 int32_t* iostat, const int32_t* format, int32_t record_length) {
  return io::fmt_internal_write_begin(variable, count_arg(record_count), io::flags_arg(flags),
                                      io::reference_arg(iostat), io::reference_arg(format),
                                      record_length);
}

int32_t fmt_read_begin(const int32_t* unit, const int32_t* rec, const int32_t* flags, int32_t* iostat,
                       const int32_t* format, const char* advance, int32_t advance_len) {
  return io::fmt_read_begin(unit_arg(unit), record_arg(rec), io::flags_arg(flags), io::reference_arg(iostat),
                            io::reference_arg(format), io::text_arg(advance, advance_len));
}

int32_t fmt_read_item(const int32_t* type, const int32_t* count, const int32_t* stride, void* address,
                      int32_t length) {
  return io::fmt_read_item(type_arg(type), count_arg(count), stride_arg(stride), address, length);
}

int32_t fmt_read_end(void) { return io::fmt_read_end(); }

int32_t fmt_internal_read_begin(const char* variable, const int32_t* record_count, const int32_t* flags,
                                int32_t* iostat, const int32_t* format, int32_t record_length) {
  return io::fmt_internal_read_begin(variable, count_arg(record_count), io::flags_arg(flags),
                                     io::reference_arg(iostat), io::reference_arg(format),
                                     record_length);
}

int32_t fmt_register_operand(format_operand_routine routine) {
  return io::fmt_register_operand(routine);
}

int32_t open_unit(const int32_t* unit, const int32_t* flags, const char* access, const char* action,
                  const char* blank, const char* delim, const char* file, const char* form,
                  int32_t* iostat, const char* pad, const char* position, const int32_t* recl,
                  const char* status, const char* dispose, int32_t access_len, int32_t action_len,
                  int32_t blank_len, int32_t delim_len, int32_t file_len, int32_t form_len,
                  int32_t pad_len, int32_t position_len, int32_t status_len, int32_t dispose_len) {
  io::open_specifiers specifiers;
  specifiers.access = io::text_arg(access, access_len);
  specifiers.action = io::text_arg(action, action_len);
  specifiers.blank = io::text_arg(blank, blank_len);
  specifiers.delim = io::text_arg(delim, delim_len);
  specifiers.file = io::text_arg(file, file_len);
  specifiers.form = io::text_arg(form, form_len);
  specifiers.pad = io::text_arg(pad, pad_len);
  specifiers.position = io::text_arg(position, position_len);
  specifiers.status = io::text_arg(status, status_len);
  specifiers.dispose = io::text_arg(dispose, dispose_len);
  specifiers.recl = io::reference_arg(recl);
  return io::open_statement(unit_arg(unit), io::flags_arg(flags), io::reference_arg(iostat), specifiers);
}

int32_t open_extended_specifiers(const int32_t* open_status, const char* decimal, const char* round,
                                 const char* sign, const char* encoding, int32_t decimal_len,
                                 int32_t round_len, int32_t sign_len, int32_t encoding_len) {
  io::extended_specifiers specifiers;
  specifiers.decimal = io::text_arg(decimal, decimal_len);
  specifiers.round = io::text_arg(round, round_len);
  specifiers.sign = io::text_arg(sign, sign_len);
  specifiers.encoding = io::text_arg(encoding, encoding_len);
  return io::open_extended(io::flags_arg(open_status), specifiers);
}

int32_t close_unit(const int32_t* unit, const int32_t* flags, int32_t* iostat, const char* status,
                   int32_t status_len) {
  return io::close_statement(unit_arg(unit), io::flags_arg(flags), io::reference_arg(iostat),
                             io::text_arg(status, status_len));
}

}  // extern "C"

/* The record I/O library's public interface: statement entry points, item type codes,
   specifier flags, statuses and compiled-format codes. Valid C and C++. A C++ program
   compiles its format texts with format_compiler.h. */
#ifndef RECORD_IO_H
#define RECORD_IO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Item type codes: the first argument of every item transfer. */
enum item_type_code {
  TYPE_COMPLEX8 = 9,   /* two 32-bit reals */
  TYPE_COMPLEX16 = 10, /* two 64-bit reals */
  TYPE_CHARACTER = 14, /* text of the given length */
  TYPE_LOGICAL1 = 17,
  TYPE_LOGICAL2 = 18,
  TYPE_LOGICAL4 = 19,
  TYPE_LOGICAL8 = 20,
  TYPE_WORD4 = 21, /* untyped 4-byte word */
  TYPE_WORD8 = 22, /* untyped 8-byte word */
  TYPE_INTEGER2 = 24,
  TYPE_INTEGER4 = 25,
  TYPE_INTEGER8 = 26,
  TYPE_REAL4 = 27,
  TYPE_REAL8 = 28,
  TYPE_REAL16 = 29,    /* the quad kind: 8 bytes in the size table */
  TYPE_COMPLEX32 = 30, /* complex of the quad kind: 16 bytes */
  TYPE_INTEGER1 = 32
};

/* The flag word of every statement: which error-handling specifiers it has. */
enum specifier_flags {
  SPECIFIER_IOSTAT = 0x01,
  SPECIFIER_ERR = 0x02,
  SPECIFIER_END = 0x04,
  SPECIFIER_EOR = 0x08,
  SPECIFIER_IOMSG = 0x10
};

/* What every statement entry returns. */
enum statement_status { STATUS_OK = 0, STATUS_ERROR = 1, STATUS_EOF = 2, STATUS_EOR = 3 };

/* Edit codes of a compiled format: a word below 0 where a code is expected. */
enum format_code {
  FORMAT_END = -1,         /* reversion index */
  FORMAT_GROUP = -2,       /* "(" */
  FORMAT_GROUP_END = -3,   /* ")", index of the group's first word */
  FORMAT_SCALE = -4,       /* kP */
  FORMAT_LITERAL = -5,     /* length word, text words */
  FORMAT_T = -6,           /* Tn */
  FORMAT_TL = -7,          /* TLn */
  FORMAT_TR = -8,          /* TRn */
  FORMAT_X = -9,           /* nX */
  FORMAT_S = -10,
  FORMAT_SP = -11,
  FORMAT_SS = -12,
  FORMAT_NOP1 = -13,       /* no effect on output */
  FORMAT_NOP2 = -14,       /* no effect on output */
  FORMAT_SLASH = -15,      /* "/" */
  FORMAT_COLON = -16,      /* ":" */
  FORMAT_SKIP_ITEM = -17,  /* ends the item's processing without output */
  FORMAT_DOLLAR = -18,     /* "$" */
  FORMAT_A_W = -19,
  FORMAT_L_W = -20,
  FORMAT_I_W = -21,
  FORMAT_F_W = -22,
  FORMAT_EXPONENT_WIDTH = -23, /* marker inside E, EN, ES and G */
  FORMAT_E_W = -24,
  FORMAT_EN_W = -25,
  FORMAT_ES_W = -26,
  FORMAT_G_W = -27,
  FORMAT_D_W = -28,
  FORMAT_O_W = -29,
  FORMAT_Z_W = -30,
  FORMAT_A = -31,
  FORMAT_L = -32,
  FORMAT_I = -33,
  FORMAT_F = -34,
  FORMAT_E = -35,
  FORMAT_G = -36,
  FORMAT_D = -37,
  FORMAT_O = -38,
  FORMAT_Z = -39,
  FORMAT_LITERAL2 = -40,   /* literal text, same layout as -5 */
  FORMAT_INVALID1 = -41,
  FORMAT_INVALID2 = -42,
  FORMAT_B_W = -43,
  FORMAT_ERROR = -44,      /* returned by the code fetch after it reported an error */
  FORMAT_DC = -45,
  FORMAT_DP = -46
};

/* Omitted arguments passed by reference point here (or are null). */
extern int32_t absent_argument_placeholder[3];

/* Provided by every program. */
void MAIN_(int argc, char **argv, char **envp);

/* Statements. */
void io_source_position(const int32_t *line, const char *file, int32_t file_len);
void io_set_pos(int32_t flags, int64_t position);
void io_set_iomsg(char *buffer, int32_t length);
/* Like io_set_iomsg, these hold for the next statement only. */
void io_set_size(int32_t *size);                      /* SIZE= of the next read */
void io_set_format_text(const char *text, int32_t length); /* the next formatted statement's
                                                           format as text; its begin gets a
                                                           null format */

int32_t ld_write_begin(const int32_t *unit, const int32_t *rec, const int32_t *flags,
                       int32_t *iostat);
int32_t ld_write_item(const int32_t *type, const int32_t *count, const int32_t *stride,
                      const void *address, int32_t length);
int32_t ld_write_scalar(uint32_t word, int32_t type);
int32_t ld_write_end(void);
int32_t ld_internal_write_begin(char *variable, const int32_t *record_count,
                                const int32_t *flags, int32_t *iostat,
                                int32_t record_length);

int32_t ld_read_begin(const int32_t *unit, const int32_t *rec, const int32_t *flags,
                      int32_t *iostat);
int32_t ld_read_item(const int32_t *type, const int32_t *count, const int32_t *stride,
                     void *address, int32_t length);
int32_t ld_read_end(void);
int32_t ld_internal_read_begin(const char *variable, const int32_t *record_count,
                               const int32_t *flags, int32_t *iostat,
                               int32_t record_length);

int32_t fmt_write_begin(const int32_t *unit, const int32_t *rec, const int32_t *flags,
                        int32_t *iostat, const int32_t *format, const char *advance,
                        int32_t advance_len);
int32_t fmt_write_item(const int32_t *type, const int32_t *count, const int32_t *stride,
                       const void *address, int32_t length);
int32_t fmt_write_scalar(uint32_t word, int32_t type);
/* A complex value passed by value: the two parts are written as two elements of type 27
   (real and imaginary part as 32-bit real bit patterns) or type 28. */
int32_t fmt_write_complex8(uint32_t real_word, uint32_t imaginary_word);
int32_t fmt_write_complex16(double real_part, double imaginary_part);
int32_t fmt_write_end(void);
int32_t fmt_internal_write_begin(char *variable, const int32_t *record_count,
                                 const int32_t *flags, int32_t *iostat,
                                 const int32_t *format, int32_t record_length);

/* Formatted input under the same compiled formats. */
int32_t fmt_read_begin(const int32_t *unit, const int32_t *rec, const int32_t *flags,
                       int32_t *iostat, const int32_t *format, const char *advance,
                       int32_t advance_len);
int32_t fmt_read_item(const int32_t *type, const int32_t *count, const int32_t *stride,
                      void *address, int32_t length);
int32_t fmt_read_end(void);
int32_t fmt_internal_read_begin(const char *variable, const int32_t *record_count,
                                const int32_t *flags, int32_t *iostat, const int32_t *format,
                                int32_t record_length);

/* A variable format expression: an operand pair whose flag word is not 0 takes its value
   from a routine the program registered here; the pair's value word is the index that
   fmt_register_operand returned. The routine is called each time the operand is read.
   Registering a routine again returns its first index; a null routine, or one more than
   1024, gets -1. */
typedef int32_t (*format_operand_routine)(void);
int32_t fmt_register_operand(format_operand_routine routine);

int32_t open_unit(const int32_t *unit, const int32_t *flags, const char *access,
                  const char *action, const char *blank, const char *delim,
                  const char *file, const char *form, int32_t *iostat, const char *pad,
                  const char *position, const int32_t *recl, const char *status,
                  const char *dispose, int32_t access_len, int32_t action_len,
                  int32_t blank_len, int32_t delim_len, int32_t file_len, int32_t form_len,
                  int32_t pad_len, int32_t position_len, int32_t status_len,
                  int32_t dispose_len);
int32_t open_extended_specifiers(const int32_t *open_status, const char *decimal,
                                 const char *round, const char *sign, const char *encoding,
                                 int32_t decimal_len, int32_t round_len, int32_t sign_len,
                                 int32_t encoding_len);
int32_t close_unit(const int32_t *unit, const int32_t *flags, int32_t *iostat,
                   const char *status, int32_t status_len);

#ifdef __cplusplus
}
#endif

#endif

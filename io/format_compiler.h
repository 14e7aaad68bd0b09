// Format text compiled into the words of a compiled format (the codes of record_io.h), at
// build time (compile_format) or at run time (try_compile_format). C++ only.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "format_syntax.h"
#include "format_text_compiler.h"

namespace io {

/* Format text turned into `compiled_format` words while the program is compiled, so a
   malformed format stops the build instead of failing at run time:

     static constexpr auto total_format =
         io::compile_format<"('The total area is ', F5.2)">();
     fmt_write_begin(&unit, nullptr, &flags, nullptr, total_format.data(), nullptr, 0);

   The result is a std::array<std::int32_t, N> with N fixed by the text. What the text may
   hold, and the words each piece becomes (p is an operand pair: 0 then the value, or 1
   then a routine index; [x] appears only when written):

     [r](...)                 [p r] -2 ... -3 g     g: index of the group's first word
     end of the text          -1 v                  v: reversion index, see below
     'text', "text"           -5 n bytes            a doubled quote stands for one;
     nH text                  -40 n bytes           bytes packed 4 a word, little-endian,
                                                    the last word padded with zero bytes
     kP                       -4 p(k)               k may be signed, -128..127
     Tn, TLn, TRn, nX         -6, -7, -8, -9 p(n)   n >= 1
     S, SS, SP, /, :, $       -10, -12, -11, -15, -16, -18
     DC, DP                   -45, -46
     BN, BZ                   -13, -14              no effect on output
     Q                        -17                   takes the item, writes nothing
     Aw, A    Lw, L           -19 p(w), -31    -20 p(w), -32
     Iw[.m], I                -21 p(w) p(m), -33    m defaults to 1: one digit for zero
     Fw.d, F    Dw.d, D       -22 p(w) p(d), -34    -28 p(w) p(d), -37
     Ew.d[Ee], E              -24 p(w) p(d) [-23 p(e)], -35
     ENw.d[Ee], ESw.d[Ee]     -25 ..., -26 ...      as Ew.d
     Gw.d[Ee], G              -27 ..., -36          as Ew.d
     Zw[.m], Z    Ow[.m], O   -30 p(w) p(m), -39    -29 p(w) p(m), -38
     Bw[.m]                   -43 p(w) p(m)         Z, O, B: m defaults to 1, as for Z alone

   The interpreter reads w and m for every Iw, Zw, Ow and Bw, so m is always written.
   A repeat count r >= 1 may stand before a group, a data descriptor and "/". Width 0 is
   taken only by I and F, the two the interpreter gives a minimal-width meaning. When
   items remain at the end of the format, the scan goes back to the group that closes last
   at the outermost level, count included, or to word 0 when there is none. Commas may be
   left out after kP before F, E, EN, ES, D or G, and around "/" (without a count), ":"
   and "$". Letters may be lower case; blanks may stand between the parts of a descriptor
   but not inside a name or number. Any number may be written "<i>": the operand then comes
   from the routine that fmt_register_operand registered as index i. */

/* Compiles text into words, storing as many as fit; word_count tells how many there are.
   Usable at run time and in constant expressions, e.g. to test malformed texts. */
constexpr format_compile_result try_compile_format(std::string_view text,
                                                   std::span<std::int32_t> words = {}) {
  return format_compiler_detail::format_text_compiler{text, words}.run();
}

/* Format text as a template argument: a string literal, converted implicitly. */
template <std::size_t N>
struct format_text {
  char characters[N]{};
  consteval format_text(const char (&literal)[N]) {
    for (std::size_t i = 0; i < N; ++i) characters[i] = literal[i];
  }
  constexpr std::string_view view() const { return {characters, N - 1}; }
};

namespace format_compiler_detail {
template <format_text Text>
inline constexpr format_compile_result format_text_check = try_compile_format(Text.view());
}  // namespace format_compiler_detail

/* The size is part of the signature, so a malformed text leaves no candidate: the build
   stops at the call, and `requires { compile_format<"...">(); }` is false. */
template <format_text Text>
consteval std::array<std::int32_t, format_compiler_detail::checked_word_count<
                                       format_compiler_detail::format_text_check<Text>.fault,
                                       format_compiler_detail::format_text_check<Text>.offset>(
                                       format_compiler_detail::format_text_check<Text>.word_count)>
compile_format() {
  std::array<std::int32_t, format_compiler_detail::format_text_check<Text>.word_count> words{};
  try_compile_format(Text.view(), words);
  return words;
}

}  // namespace io

// Decoding of omitted arguments: null or any byte of the placeholder, nothing else.
#include "arguments.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(is_absent, knows_the_placeholder_by_its_bytes) {
  const auto* first = reinterpret_cast<const char*>(absent_argument_placeholder);
  constexpr auto size = static_cast<std::ptrdiff_t>(sizeof absent_argument_placeholder);
  // The byte before the placeholder, formed as an address: no pointer may point there.
  const auto* before = reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(first) - 1);
  const std::int32_t ordinary = 0;
  struct address_case {
    const void* argument;
    bool absent;
  };
  const address_case cases[] = {
      {nullptr, true},          {first, true},
      {first + 1, true},        {first + size - 1, true},
      {first + size, false},    {before, false},
      {&ordinary, false},       {absent_argument_placeholder + 1, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(io::is_absent(c.argument), c.absent)
        << reinterpret_cast<std::intptr_t>(c.argument) - reinterpret_cast<std::intptr_t>(first);
  }
  EXPECT_EQ(io::flags_arg(absent_argument_placeholder), 0);
  EXPECT_FALSE(io::text_arg(first, 5).has_value());
  EXPECT_EQ(io::text_arg("abc", -1).value(), "");
}

}  // namespace

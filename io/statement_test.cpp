// The statement frame: the source position a report names.
#include "statement.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

// The report names the file of the failing statement even when a caller reuses its buffer,
// on the stack or on the heap, and when paths alternate between literals and buffers.
TEST(io_source_position, follows_a_path_rewritten_in_place) {
  char path[] = "first.f";
  io::io_source_position(1, path);
  std::memcpy(path, "other.f", 7);
  io::io_source_position(2, path);
  EXPECT_EQ(io::statement().source_file, "other.f");

  static char kept[] = "kept.f";  // writable static storage
  const auto heap = std::make_unique<char[]>(8);
  std::memcpy(heap.get(), "heap.f", 7);
  const std::string_view literal = "literal.f";
  struct step {
    std::string_view passed;
    const char* rewrite;  // written into the buffer after the call, if any
    std::string_view named;
  };
  const step steps[] = {
      {literal, nullptr, "literal.f"}, {literal, nullptr, "literal.f"},
      {kept, "seen.f", "kept.f"},      {kept, nullptr, "seen.f"},
      {literal, nullptr, "literal.f"}, {{heap.get(), 6}, "heap.g", "heap.f"},
      {{heap.get(), 6}, nullptr, "heap.g"}, {literal.substr(0, 7), nullptr, "literal"},
  };
  std::int32_t line = 10;
  for (const step& s : steps) {
    io::io_source_position(++line, s.passed);
    EXPECT_EQ(io::statement().source_file, s.named) << "line " << line;
    if (s.rewrite != nullptr) std::memcpy(const_cast<char*>(s.passed.data()), s.rewrite, s.passed.size());
  }
}

}  // namespace

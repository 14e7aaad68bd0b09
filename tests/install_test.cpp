// The installed tree serves a program of another author, linked by hand and through the package.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "process_runner.h"
#include "test_paths.h"

namespace {

int shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

TEST(installation, links_an_outside_program) {
  test::temp_dir dir;
  const std::string prefix = (dir / "prefix").string();
  ASSERT_EQ(shell(std::string(test::cmake_command) + " --install " + std::string(test::build_dir) +
                  " --prefix " + prefix),
            0);
  const std::string source = std::string(test::source_dir) + "/tests/outside";
  const std::string flags = std::string(test::cxx_flags);

  // By hand, as the interface promises: the headers and a group of the static libraries.
  const std::string by_hand = (dir / "by_hand").string();
  ASSERT_EQ(shell(std::string(test::cxx_compiler) + " " + flags + " -x c " + source + "/outside.c -x none -I" +
                  prefix + "/include -Wl,--start-group " + prefix + "/lib/*.a -Wl,--end-group -o " + by_hand),
            0);
  // Through the package's imported target.
  const std::string package_build = (dir / "package").string();
  ASSERT_EQ(shell(std::string(test::cmake_command) + " -S " + source + " -B " + package_build +
                  " -DCMAKE_PREFIX_PATH=" + prefix + " -DCMAKE_C_COMPILER=" + std::string(test::c_compiler) +
                  " -DCMAKE_CXX_COMPILER=" + std::string(test::cxx_compiler) + " \"-DCMAKE_C_FLAGS=" + flags +
                  "\" \"-DCMAKE_EXE_LINKER_FLAGS=" + flags + "\""),
            0);
  ASSERT_EQ(shell(std::string(test::cmake_command) + " --build " + package_build), 0);

  for (const std::string& program : {by_hand, package_build + "/outside"}) {
    SCOPED_TRACE(program);
    const auto result = test::run_program(program);
    EXPECT_EQ(result.standard_output, " hello from outside\r\n");
    EXPECT_EQ(result.exit_status, 0);
  }
}

}  // namespace

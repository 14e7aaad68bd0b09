// The installed tree serves a program of another author, linked by hand, through pkg-config
// and through the CMake package.
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
  const std::string cc = std::string(test::c_compiler) + " " + flags;
  const std::string cxx = std::string(test::cxx_compiler) + " " + flags;
  const std::string lib = prefix + "/lib/";
  const auto object = [&](const std::string& name) { return (dir / (name + ".o")).string(); };
  for (const std::string name : {"outside", "runtime_alone"}) {
    ASSERT_EQ(shell(cc + " -c " + source + "/" + name + ".c -I" + prefix + "/include -o " + object(name)), 0);
  }

  struct link_case {
    const char* why;
    std::string program;
    std::string command;  // builds the program
    std::string standard_output;
    std::string standard_error;
    int exit_status;
  };
  const std::string hello = " hello from outside\r\n";
  const std::string package_build = (dir / "package").string();
  const link_case cases[] = {
      // record_io calls the runtime and never the reverse, so one pass in this order links.
      {"one pass", (dir / "one_pass").string(),
       cxx + " " + object("outside") + " " + lib + "librecord_io.a " + lib + "libruntime.a -o " +
           (dir / "one_pass").string(),
       hello, "", 0},
      {"a group, as the interface promises", (dir / "group").string(),
       cxx + " " + object("outside") + " -Wl,--start-group " + lib + "*.a -Wl,--end-group -o " +
           (dir / "group").string(),
       hello, "", 0},
      // A C compiler's link: the .pc file names the C++ libraries the runtime needs.
      {"pkg-config", (dir / "pkg_config").string(),
       cc + " " + source + "/outside.c $(PKG_CONFIG_PATH=" + lib +
           "pkgconfig pkg-config --cflags --libs record_runtime) -o " + (dir / "pkg_config").string(),
       hello, "", 0},
      {"the CMake package's imported target", package_build + "/outside",
       std::string(test::cmake_command) + " -S " + source + " -B " + package_build + " -DCMAKE_PREFIX_PATH=" +
           prefix + " -DCMAKE_C_COMPILER=" + std::string(test::c_compiler) + " -DCMAKE_CXX_COMPILER=" +
           std::string(test::cxx_compiler) + " \"-DCMAKE_C_FLAGS=" + flags + "\" \"-DCMAKE_EXE_LINKER_FLAGS=" +
           flags + "\" && " + std::string(test::cmake_command) + " --build " + package_build,
       hello, "", 0},
      // The runtime needs nothing of the record I/O library, and its abnormal end still
      // flushes what a program without units printed itself.
      {"the runtime alone", (dir / "runtime_alone").string(),
       cxx + " " + object("runtime_alone") + " " + lib + "libruntime.a -o " + (dir / "runtime_alone").string(),
       "runtime alone\n", "0: stop\n", 127},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    ASSERT_EQ(shell(c.command), 0) << c.command;
    const auto result = test::run_program(c.program);
    EXPECT_EQ(result.standard_output, c.standard_output);
    EXPECT_EQ(result.standard_error, c.standard_error);
    EXPECT_EQ(result.exit_status, c.exit_status);
  }
}

}  // namespace

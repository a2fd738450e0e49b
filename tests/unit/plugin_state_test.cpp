// The plug-in's process-wide state lives until the process is gone: no destructor of it runs
// at exit (on Windows that is under the loader lock, where closing internet handles or
// unloading the matching library can hang the host as it exits).
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "plugin/plugin_state.h"

namespace {

// Registered before the state is built, so it runs after any exit-time destructor the state
// would have: the state must still be whole then.
void ReadStateAtExit() {
  const char* text = plugin::State().language.Text(5);
  std::_Exit(std::strcmp(text, settings::LanguageStrings::Default(5)) == 0 ? 0 : 3);
}

TEST(PluginStateDeathTest, NothingOfTheStateIsReleasedAtExit) {
  // A fresh process, so that the state is built inside the test.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::atexit(ReadStateAtExit);
        static_cast<void>(plugin::State());
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace

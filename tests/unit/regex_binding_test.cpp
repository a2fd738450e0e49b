// Binding the matching library: each missing export stops the binding at its step, is
// reported with its own code, and no function of an incomplete library is ever called.
#include <string>

#include <gtest/gtest.h>

#include "engine/site_browser.h"
#include "platform/platform.h"
#include "regex/regex_library.h"
#include "test_files.h"

namespace {

// The stand-in libraries are built beside this test program.
std::string Fixture(const std::string& missing) {
  return testing_support::BesideTestProgram("partial_regex_" + missing + ".dll");
}

using InitCallsFn = int(FL_STDCALL*)();

int InitCalls(const std::string& library) {
  void* h = platform::LoadDynamicLibrary(library.c_str());
  auto fn = reinterpret_cast<InitCallsFn>(platform::FindFunction(h, "init_calls"));
  return fn ? fn() : -1;
}

TEST(RegexLibrary, EachMissingExportStopsAtItsStep) {
  const struct {
    const char* missing;
    int step;
  } cases[] = {{"init", 2},  {"expression", 3}, {"exec", 4},
               {"match", 5}, {"execnext", 6},   {"matchcount", 7}};
  for (const auto& c : cases) {
    regex::RegexLibrary lib;
    EXPECT_EQ(lib.Load(Fixture(c.missing).c_str()), 0) << c.missing;
    EXPECT_EQ(lib.failure(), c.step) << c.missing;
    EXPECT_FALSE(lib.bound());
    // Nothing may be called on an incomplete binding.
    lib.Expression("a");
    EXPECT_FALSE(lib.Exec("a"));
    EXPECT_FALSE(lib.ExecNext());
    EXPECT_STREQ(lib.Match(0), "");
    EXPECT_EQ(lib.MatchCount(), -1);
    EXPECT_EQ(InitCalls(Fixture(c.missing)), 0) << c.missing;
  }
}

TEST(RegexLibrary, MissingFileIsStepOneAndCompleteLibraryIsInitialisedOnce) {
  regex::RegexLibrary missing;
  EXPECT_EQ(missing.Load("no-such-dir\\frameleaf.dll"), 0);
  EXPECT_EQ(missing.failure(), 1);

  regex::RegexLibrary lib;
  const std::string path = Fixture("none");
  EXPECT_EQ(lib.Load(path.c_str()), 1);
  EXPECT_TRUE(lib.bound());
  EXPECT_EQ(lib.Load(path.c_str()), 1);  // already loaded: nothing more happens
  EXPECT_EQ(InitCalls(path), 1);
}

TEST(SiteBrowser, BindingFailureIsReportedWithTheLibraryPath) {
  testing_support::ScratchFolder dir;
  report::ErrorReporter errors;
  errors.SetPath(dir.File("frameleaf.htm").c_str());
  engine::SiteBrowser browser(errors, nullptr);
  const std::string library = Fixture("matchcount");
  browser.LoadRegexLibrary(library.c_str(), dir.File("scripts\\").c_str());
  const std::string page = dir.Read("frameleaf.htm");
  EXPECT_NE(page.find("DLL E7</b>"), std::string::npos);
  EXPECT_NE(page.find("<p>" + library + "</p>"), std::string::npos);

  // Every browse reports the failure again and lists nothing.
  dir.Write("frameleaf.htm", "");
  EXPECT_EQ(browser.Browse("http://photos.example.test/user/a/"), nullptr);
  EXPECT_NE(dir.Read("frameleaf.htm").find("DLL E7</b>"), std::string::npos);
}

}  // namespace

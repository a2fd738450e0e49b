// Throughput of the matching library against RE2, std::regex and PCRE2 (interpreter and JIT)
// on page-shaped inputs and on patterns that make backtracking engines blow up. Every engine
// finds every match and copies out every group, as the plug-in reads them; each runs once
// untimed first, then the median of its timed runs counts. Prints Google Benchmark's
// table, the ratios of our times to the others', then the cost of the first search in the
// process and the peak memory one search over a page (or over a megabyte matched whole) adds.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <benchmark/benchmark.h>
#include <re2/re2.h>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <new>
#include <regex>
#include <string>
#include <vector>

#include "regexlib/matcher.h"

// Heap in use and its peak, for the memory figures: every allocation of the process passes
// here (the benchmark is single-threaded).
std::size_t gLiveBytes = 0;
std::size_t gPeakBytes = 0;

void* operator new(std::size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  gLiveBytes += malloc_usable_size(p);
  if (gLiveBytes > gPeakBytes) gPeakBytes = gLiveBytes;
  return p;
}
void operator delete(void* p) noexcept {
  if (!p) return;
  gLiveBytes -= malloc_usable_size(p);
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  operator delete(p);
}

namespace {

// An album-list page: size bytes holding about 10,000 entries with filler between them.
std::string AlbumPage(std::size_t size) {
  const std::size_t entries = 10000;
  const std::size_t per = size / entries;
  std::string page = "<html><body>\n";
  for (std::size_t i = 0; i < entries; ++i) {
    std::string entry = "<div><a href=\"/u/demo/a/" + std::to_string(i) + "/\">Album " +
                        std::to_string(i) + "</a> " + std::to_string(i % 97) + " photos";
    // Every tenth entry also links its album by full address.
    if (i % 10 == 0) {
      entry += " <a href=\"http://img" + std::to_string(i % 7) + ".photos.test/albums/" +
               std::to_string(i) + "/index.html\">all</a>";
    }
    while (entry.size() + 7 < per)
      entry += " <p>lorem ipsum dolor sit amet</p>";
    if (entry.size() + 7 > per) entry.resize(per - 7);
    page += entry + "</div>\n";
  }
  return page + "</body></html>";
}

struct Case {
  std::string name;
  std::string title;  // the row's name in the Markdown table
  std::string pattern;
  std::function<const std::string&()> text;
  bool stdRegexSafe;     // std::regex recurses per byte and crashes on long runs
  bool pcreSafe = true;  // false where PCRE2 would take hours (quadratic)
};

const std::string& Page1() {
  static const std::string s = AlbumPage(1 << 20);
  return s;
}
const std::string& Page20() {
  static const std::string s = AlbumPage(20 << 20);
  return s;
}
const std::string& A100k() {
  static const std::string s(100 << 10, 'a');
  return s;
}
const std::string& A1m() {
  static const std::string s(1 << 20, 'a');
  return s;
}
// 1 MB of "a" and then the one byte a match needs, so that the whole run must be matched.
const std::string& A1mThen(char last) {
  static std::map<char, std::string> texts;
  std::string& s = texts[last];
  if (s.empty()) s = std::string(1 << 20, 'a') + last;
  return s;
}
// The byte every match needs after a megabyte of "a" (with a byte that ends the runs before
// it), or before it: the whole text must be read to find the match.
const std::string& Present(const char* head, char fill, const char* tail) {
  static std::map<std::string, std::string> texts;
  std::string& s = texts[std::string(head) + fill + tail];
  if (s.empty()) s = head + std::string(1 << 20, fill) + tail;
  return s;
}
const std::string& NoTag20K() {
  static const std::string s(20 << 10, 'x');
  return s;
}
const std::string& NoTag20() {
  static const std::string s = [] {
    std::string t;
    while (t.size() < (20u << 20))
      t += "plain text without any markup at all, line after line\n";
    return t;
  }();
  return s;
}

const char kLiteral[] = "<a href=\"([^\"]+)\">([^<]*)</a>";
const char kClass[] = "[0-9]+ (photos)";
const char kLazy[] = "<a href=\"(.*?)\">(.*?)</a>";
const char kCaseless[] = "(?i)<A HREF=\"([^\"]+)\">([^<]*)</a>";
// Class-led: no literal starts a match, and the class's bytes are everywhere in a page.
const char kClassLed[] = "([\\w.\\-]+)/albums/([0-9]+)/";

std::vector<Case> Cases() {
  auto present = [](const char* head, char fill, const char* tail) {
    return [=]() -> const std::string& { return Present(head, fill, tail); };
  };
  auto then = [](char last) { return [=]() -> const std::string& { return A1mThen(last); }; };
  return {
      {"page1M/literal", "page 1 MB, literal-led entry", kLiteral, Page1, true},
      {"page1M/caseless", "page 1 MB, `(?i)` entry", kCaseless, Page1, true},
      {"page1M/class", "page 1 MB, `[0-9]+ (photos)`", kClass, Page1, true},
      {"page1M/lazy", "page 1 MB, lazy `.*?` entry", kLazy, Page1, true},
      {"page1M/class-led", "page 1 MB, class-led `([\\w.\\-]+)/albums/([0-9]+)/`", kClassLed, Page1,
       true},
      {"page20M/literal", "page 20 MB, literal-led entry", kLiteral, Page20, true},
      {"page20M/caseless", "page 20 MB, `(?i)` entry", kCaseless, Page20, true},
      {"page20M/class", "page 20 MB, `[0-9]+ (photos)`", kClass, Page20, true},
      {"page20M/lazy", "page 20 MB, lazy `.*?` entry", kLazy, Page20, true},
      {"page20M/class-led", "page 20 MB, class-led `([\\w.\\-]+)/albums/([0-9]+)/`", kClassLed,
       Page20, true},
      {"needed/(a*)*b", "`(a*)*b`, 1 MB of a, then cb", "(a*)*b", present("", 'a', "cb"), false},
      {"needed/(a|aa)*c", "`(a|aa)*c`, 1 MB of a, then bc", "(a|aa)*c", present("", 'a', "bc"),
       false},
      {"needed/(.*)(.*)(.*)x", "`(.*)(.*)(.*)x`, x, then 1 MB of a", "(.*)(.*)(.*)x",
       present("x", 'a', ""), false},
      {"path100K/(a*)*b", "`(a*)*b`, 100 KB of a, no b", "(a*)*b", A100k, false},
      {"path100K/(a|aa)*c", "`(a|aa)*c`, 100 KB of a, no c", "(a|aa)*c", A100k, false},
      {"path100K/(.*)(.*)(.*)x", "`(.*)(.*)(.*)x`, 100 KB of a, no x", "(.*)(.*)(.*)x", A100k,
       false},
      {"path1M/(a*)*b", "`(a*)*b`, 1 MB of a, no b", "(a*)*b", A1m, false},
      {"path1M/(a|aa)*c", "`(a|aa)*c`, 1 MB of a, no c", "(a|aa)*c", A1m, false},
      {"path1M/(.*)(.*)(.*)x", "`(.*)(.*)(.*)x`, 1 MB of a, no x", "(.*)(.*)(.*)x", A1m, false},
      {"present1M/(a*)*b", "`(a*)*b`, 1 MB of a, then b", "(a*)*b", then('b'), false},
      {"present1M/(a|aa)*c", "`(a|aa)*c`, 1 MB of a, then c", "(a|aa)*c", then('c'), false},
      {"present1M/(.*)(.*)(.*)x", "`(.*)(.*)(.*)x`, 1 MB of a, then x", "(.*)(.*)(.*)x", then('x'),
       false},
      {"present1M/.*.*=.*", "`.*.*=.*`, 1 MB of a, then =", ".*.*=.*", then('='), false},
      {"path20K/[^<]*<", "`[^<]*<`, 20 KB without <", "[^<]*<", NoTag20K, false},
      {"path20M/[^<]*<", "`[^<]*<`, 20 MB without <", "[^<]*<", NoTag20, false, false},
  };
}

void Ours(benchmark::State& state, const Case& c) {
  regexlib::Matcher m;
  if (!m.SetPattern(c.pattern)) state.SkipWithError(m.Error().c_str());
  const std::string& text = c.text();
  std::size_t matches = 0;
  auto run = [&] {
    matches = 0;
    for (bool ok = m.Exec(text.c_str()); ok; ok = m.ExecNext()) {
      for (int g = 0; g <= m.MatchCount(); ++g)
        benchmark::DoNotOptimize(m.Group(g).size());
      ++matches;
    }
  };
  run();  // warm-up
  for (auto _ : state)
    run();
  state.counters["matches"] = double(matches);
  state.SetBytesProcessed(std::int64_t(state.iterations() * text.size()));
}

void StdRegex(benchmark::State& state, const Case& c) {
  // std::regex knows no inline flags: a leading (?i) becomes its icase option.
  const bool caseless = c.pattern.rfind("(?i)", 0) == 0;
  const std::regex re(
      caseless ? c.pattern.substr(4) : c.pattern,
      caseless ? std::regex::ECMAScript | std::regex::icase : std::regex::ECMAScript);
  const std::string& text = c.text();
  std::size_t matches = 0;
  std::string group;
  for (auto _ : state) {  // no warm-up: it is run once, and slowest by far
    matches = 0;
    for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it) {
      for (std::size_t g = 0; g < it->size(); ++g)
        benchmark::DoNotOptimize((*it)[g].length());
      ++matches;
    }
  }
  state.counters["matches"] = double(matches);
  state.SetBytesProcessed(std::int64_t(state.iterations() * text.size()));
}

void Pcre(benchmark::State& state, const Case& c, bool jit) {
  int error;
  PCRE2_SIZE offset;
  pcre2_code* re =
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(c.pattern.c_str()), PCRE2_ZERO_TERMINATED,
                    PCRE2_DOTALL | PCRE2_DOLLAR_ENDONLY, &error, &offset, nullptr);
  if (jit) pcre2_jit_compile(re, PCRE2_JIT_COMPLETE);
  pcre2_match_data* md = pcre2_match_data_create_from_pattern(re, nullptr);
  const std::string& text = c.text();
  const auto* subject = reinterpret_cast<PCRE2_SPTR>(text.c_str());
  std::size_t matches = 0;
  std::string group;
  bool gaveUp = false;
  auto run = [&] {
    matches = 0;
    PCRE2_SIZE start = 0;
    while (start <= text.size()) {
      const int rc = pcre2_match(re, subject, text.size(), start, 0, md, nullptr);
      if (rc < 0) {
        gaveUp = rc != PCRE2_ERROR_NOMATCH;
        break;
      }
      PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
      for (int g = 0; g < rc; ++g) {
        if (ov[2 * g] == PCRE2_UNSET) continue;
        group.assign(text, ov[2 * g], ov[2 * g + 1] - ov[2 * g]);
        benchmark::DoNotOptimize(group.data());
      }
      ++matches;
      start = ov[1] > ov[0] ? ov[1] : ov[1] + 1;
    }
  };
  run();  // warm-up
  for (auto _ : state)
    run();
  if (gaveUp) state.SkipWithError("gave up (match limit)");
  state.counters["matches"] = double(matches);
  state.SetBytesProcessed(std::int64_t(state.iterations() * text.size()));
  pcre2_match_data_free(md);
  pcre2_code_free(re);
}

// RE2 on bytes (Latin-1), with "." matching line feeds as ours does. The repeated search
// moves one byte on after an empty match.
void Re2(benchmark::State& state, const Case& c) {
  RE2::Options options;
  options.set_encoding(RE2::Options::EncodingLatin1);
  options.set_dot_nl(true);
  options.set_log_errors(false);
  options.set_max_mem(64 << 20);
  const RE2 re(c.pattern, options);
  if (!re.ok()) {
    state.SkipWithError(re.error().c_str());
    return;
  }
  const std::string& text = c.text();
  const re2::StringPiece subject(text);
  std::vector<re2::StringPiece> groups(std::size_t(re.NumberOfCapturingGroups() + 1));
  std::size_t matches = 0;
  std::string group;
  auto run = [&] {
    matches = 0;
    std::size_t start = 0;
    while (start <= text.size() && re.Match(subject, start, text.size(), RE2::UNANCHORED,
                                            groups.data(), int(groups.size()))) {
      for (const re2::StringPiece& g : groups) {
        if (g.data() == nullptr) continue;
        group.assign(g.data(), g.size());
        benchmark::DoNotOptimize(group.data());
      }
      ++matches;
      const std::size_t begin = std::size_t(groups[0].data() - text.data());
      const std::size_t end = begin + groups[0].size();
      start = end > begin ? end : end + 1;
    }
  };
  run();  // warm-up
  for (auto _ : state)
    run();
  state.counters["matches"] = double(matches);
  state.SetBytesProcessed(std::int64_t(state.iterations() * text.size()));
}

// Every match of pattern over text by a new matcher, with every group read.
std::size_t SearchAll(const std::string& pattern, const std::string& text) {
  regexlib::Matcher m;
  m.SetPattern(pattern);
  std::size_t matches = 0;
  for (bool ok = m.Exec(text.c_str()); ok; ok = m.ExecNext()) {
    for (int g = 0; g <= m.MatchCount(); ++g)
      benchmark::DoNotOptimize(m.Group(g).size());
    ++matches;
  }
  return matches;
}

struct FirstSearch {
  double first = 0, second = 0;  // seconds
};

// Processor time of this thread, in seconds: on a shared machine the wall clock also
// counts the time other programs held the processor.
double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The first search in the process pays for whatever is set up once; a second matcher's
// identical search shows what is left.
FirstSearch MeasureFirstSearch() {
  const std::string& text = Page1();
  FirstSearch out;
  for (double* t : {&out.first, &out.second}) {
    const double begin = ThreadSeconds();
    SearchAll(kLiteral, text);
    *t = ThreadSeconds() - begin;
  }
  return out;
}

// How much heap one search (every match, every group) takes at its peak, above what was in
// use before it: the library's own memory, counted by this program's operator new. The
// pages, and the megabyte matched whole (its groups filled over the whole span).
void PrintPeakMemory() {
  std::printf("\npeak memory one search adds (MB; the library keeps its own copy of the text)\n");
  std::printf("%-26s %9s %11s %13s\n", "case", "text", "peak added", "beyond text");
  for (const Case& c : Cases()) {
    if (c.name.rfind("page", 0) != 0 && c.name.rfind("present1M", 0) != 0) continue;
    const std::string& text = c.text();
    const std::size_t before = gLiveBytes;
    gPeakBytes = before;
    SearchAll(c.pattern, text);
    const double mb = double(text.size()) / (1 << 20);
    const double added = double(gPeakBytes - before) / (1 << 20);
    std::printf("%-26s %9.1f %11.2f %13.2f\n", c.name.c_str(), mb, added, added - mb);
  }
}

// Collects each run's time per iteration, by engine and case, for the ratio table.
class Recorder : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, std::map<std::string, double>> seconds;  // case -> engine -> s
  std::map<std::string, std::map<std::string, std::string>> notes;

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      // With --benchmark_repetitions the median stands for the case (it comes last).
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
      const std::string name = r.benchmark_name();
      const std::size_t slash = name.find('/');
      const std::string engine = name.substr(0, slash);
      std::string rest = name.substr(slash + 1);
      rest = rest.substr(0, rest.find("/iterations"));
      rest = rest.substr(0, rest.find("/real_time"));
      rest = rest.substr(0, rest.find("/repeats"));
      if (r.error_occurred) {
        notes[rest][engine] = r.error_message;
      } else {
        // Processor time of the benchmark's thread: on a shared machine the wall clock
        // also counts the time other programs held the processor.
        seconds[rest][engine] =
            r.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  // --ours-once: our engine alone, one iteration of each case (for instruction counts
  // under a profiler).
  bool oursOnce = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--ours-once") {
      oursOnce = true;
      for (int j = i; j + 1 < argc; ++j)
        argv[j] = argv[j + 1];
      --argc;
      break;
    }
  }
  std::vector<Case> cases = Cases();
  const FirstSearch first = MeasureFirstSearch();
  for (const Case& c : cases) {
    // One untimed run, then the median of the timed ones (one search of the whole text
    // each).
    const int repetitions = oursOnce ? 1 : 5;
    auto add = [&](const std::string& name, auto&&... args) {
      benchmark::RegisterBenchmark(name.c_str(), args..., c)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1)
          ->Repetitions(repetitions)
          ->ReportAggregatesOnly(repetitions > 1)
          ->UseRealTime();
    };
    add("ours/" + c.name, Ours);
    if (oursOnce) continue;
    add("re2/" + c.name, Re2);
    if (c.pcreSafe) {
      add("pcre2-interp/" + c.name,
          [](benchmark::State& st, const Case& k) { Pcre(st, k, false); });
      add("pcre2-jit/" + c.name, [](benchmark::State& st, const Case& k) { Pcre(st, k, true); });
    }
    if (c.stdRegexSafe) {
      benchmark::RegisterBenchmark(("std-regex/" + c.name).c_str(), StdRegex, c)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1)
          ->UseRealTime();
    }
  }
  benchmark::Initialize(&argc, argv);
  Recorder recorder;
  benchmark::RunSpecifiedBenchmarks(&recorder);

  std::printf("\n%-26s %9s %9s %8s %12s %11s %11s\n", "case", "ours ms", "MB/s", "re2/x",
              "std::regex/x", "pcre2-int/x", "pcre2-jit/x");
  for (const Case& c : cases) {
    auto& s = recorder.seconds[c.name];
    auto& n = recorder.notes[c.name];
    if (!s.count("ours")) continue;
    const double ours = s["ours"];
    const double mb = double(c.text().size()) / (1 << 20);
    auto ratio = [&](const char* engine) -> std::string {
      if (s.count(engine)) {
        char b[32];
        std::snprintf(b, sizeof b, "%.2f", s[engine] / ours);
        return b;
      }
      if (n.count(engine)) return "gave up";
      return "not run";
    };
    std::printf("%-26s %9.2f %9.1f %8s %12s %11s %11s\n", c.name.c_str(), ours * 1e3, mb / ours,
                ratio("re2").c_str(), ratio("std-regex").c_str(), ratio("pcre2-interp").c_str(),
                ratio("pcre2-jit").c_str());
  }
  std::printf(
      "(Processor times. x: the other engine's time divided by ours; above 1 means ours\n"
      " is faster.\n"
      " std::regex is not run where it recurses once per byte and overflows the stack;\n"
      " PCRE2 is not run on 20 MB without \"<\": there it ran for minutes without\n"
      " finishing. \"gave up\": the engine stopped at its own limit.)\n");
  // The same figures as a Markdown table, for docs/matching.md.
  std::printf(
      "\n| case | ours ms | MB/s | RE2 x | PCRE2 interp x | std::regex x | PCRE2 JIT x |\n"
      "|---|---|---|---|---|---|---|\n");
  for (const Case& c : cases) {
    auto& s = recorder.seconds[c.name];
    auto& n = recorder.notes[c.name];
    if (!s.count("ours")) continue;
    const double ours = s["ours"];
    auto ratio = [&](const char* engine) -> std::string {
      if (s.count(engine)) {
        char b[32];
        std::snprintf(b, sizeof b, "%.2f", s[engine] / ours);
        return b;
      }
      return n.count(engine) ? "gave up" : "not run";
    };
    std::string name = c.title;
    for (std::size_t at = name.find('|'); at != std::string::npos; at = name.find('|', at + 2))
      name.replace(at, 1, "\\|");
    std::printf("| %s | %.2f | %.0f | %s | %s | %s | %s |\n", name.c_str(), ours * 1e3,
                double(c.text().size()) / (1 << 20) / ours, ratio("re2").c_str(),
                ratio("pcre2-interp").c_str(), ratio("std-regex").c_str(),
                ratio("pcre2-jit").c_str());
  }
  std::printf(
      "\nfirst search in the process (literal, 1 MB page, processor time): %.2f ms; the same "
      "search\n"
      "by a second matcher: %.2f ms; one-time setup: %.2f ms\n",
      first.first * 1e3, first.second * 1e3, (first.first - first.second) * 1e3);
  PrintPeakMemory();
  return 0;
}

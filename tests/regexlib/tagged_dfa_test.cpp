// The tagged DFA against the Pike VM it replays: for every place a match may begin and
// several limits, both must find the same match with the same groups, including when the
// cache is so small that it is emptied again and again; and a step budget that runs out
// ends the search without groups.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "regexlib/compiler.h"
#include "regexlib/pike_vm.h"
#include "regexlib/tagged_dfa.h"

namespace {

using regexlib::PikeVm;
using regexlib::Program;
using regexlib::TaggedDfa;

const auto* Bytes(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

// Texts over bytes: short ones of every mix, and long runs where a group inside a loop
// changes all the way along.
std::vector<std::string> Texts(const std::string& bytes, std::mt19937* rng) {
  std::vector<std::string> out = {"", bytes};
  for (int n : {3, 7, 20, 60, 300}) {
    std::string t;
    for (int i = 0; i < n; ++i)
      t += bytes[std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(*rng)];
    out.push_back(t);
  }
  out.push_back(std::string(500, bytes[0]) + bytes.back());
  return out;
}

struct Outcome {
  int result;  // TaggedDfa::Result, or for the Pike VM kMatch / kNoMatch / kOutOfSteps
  std::vector<int> slots;
  bool operator==(const Outcome& o) const {
    return result == o.result && (result != TaggedDfa::kMatch || slots == o.slots);
  }
};

std::string Show(const Outcome& o) {
  std::string s = std::to_string(o.result);
  for (int v : o.slots)
    s += " " + std::to_string(v);
  return s;
}

Outcome ByPikeVm(const Program& program, const std::string& text, std::size_t begin,
                 std::size_t limit, std::uint64_t steps) {
  PikeVm vm;
  Outcome o{TaggedDfa::kNoMatch, {}};
  const bool found = vm.Search(program, Bytes(text), text.size(), begin, begin, false, &o.slots,
                               &steps, limit, true);
  if (vm.gaveUp()) o.result = TaggedDfa::kOutOfSteps;
  if (found) o.result = TaggedDfa::kMatch;
  return o;
}

Outcome ByTaggedDfa(TaggedDfa* dfa, const std::string& text, std::size_t begin, std::size_t limit,
                    std::uint64_t steps) {
  Outcome o{TaggedDfa::kNoMatch, {}};
  o.result = dfa->Search(Bytes(text), text.size(), begin, limit, &o.slots, &steps);
  return o;
}

// Groups inside loops, lazy and greedy, alternatives whose order decides, loops whose body
// can match empty, and assertions that look past the limit.
TEST(TaggedDfa, FillsTheGroupsThePikeVmFills) {
  const struct {
    const char* pattern;
    const char* bytes;
  } kCases[] = {
      {"(a|aa)*c", "ac"},
      {"(a|ab)(c|bcd)(d*)", "abcd"},
      {"((a)|(b))*c", "abc"},
      {"(a*)*b", "ab"},
      {"(a*)+?(b*)$", "ab"},
      {"(|a)*b", "ab"},
      {"(a+?)(a*?)b", "ab"},
      {"(.*)(.*)(.*)x", "ax"},
      {"(?:(a)|b)*?c", "abc"},
      {"(\\w+)\\b(\\s*)", "a b-"},
      {"(?m)^(a*)$\\n?", "a\nb"},
      {"\\B(a)(b?)\\B", "ab "},
      {"([^\"]*)\"(.*?)\"", "a\"b"},
      {"(?i)(A|b)+(c)?", "aBc"},
      {"\\A(a)|(b)\\z|(c)", "abc"},
      {"((a)(b)?)+", "ab"},
  };
  std::mt19937 rng(2612);
  std::size_t compared = 0, matches = 0;
  for (const auto& c : kCases) {
    Program program;
    std::string error;
    ASSERT_TRUE(regexlib::Compile(c.pattern, &program, &error)) << c.pattern << ": " << error;
    // The walk back within one chunk, and across chunks of a few bytes.
    TaggedDfa whole, chunked;
    whole.Init(&program, std::size_t(256) << 10);
    chunked.Init(&program, std::size_t(256) << 10);
    chunked.SetChunk(3);
    for (const std::string& text : Texts(c.bytes, &rng)) {
      for (std::size_t begin = 0; begin <= text.size(); ++begin) {
        for (std::size_t limit : {text.size(), (begin + text.size()) / 2, begin + 1}) {
          if (limit < begin || limit > text.size()) continue;
          const Outcome want = ByPikeVm(program, text, begin, limit, UINT64_MAX);
          for (TaggedDfa* dfa : {&whole, &chunked}) {
            const Outcome got = ByTaggedDfa(dfa, text, begin, limit, UINT64_MAX);
            ASSERT_EQ(got, want) << "pattern /" << c.pattern << "/ text \"" << text << "\" from "
                                 << begin << " to " << limit << (dfa == &chunked ? ", chunked" : "")
                                 << ": " << Show(got) << " against " << Show(want);
          }
          ++compared;
          matches += want.result == TaggedDfa::kMatch ? 1 : 0;
        }
      }
    }
  }
  EXPECT_GT(compared, 10000u);
  EXPECT_GT(matches, compared / 4);
}

// A cache with room for a handful of states: it is emptied in the middle of a match and
// while the walk back runs a chunk again; the state being left is made again and its
// threads keep their order. Where it gives up, nothing is claimed.
TEST(TaggedDfa, EmptiedCacheKeepsTheThreads) {
  std::mt19937 rng(31);
  std::string text;
  for (int i = 0; i < 4000; ++i)
    text += "abc"[std::uniform_int_distribution<int>(0, 2)(rng)];
  text += 'd';
  std::size_t resets = 0, filled = 0;
  // The last two read back to the start: their first group never takes part.
  for (const char* pattern : {"((a|b)|(c))*d", "(a|ab|abc|b|bc|c)*(d)", "([ab]*)(c)?(?:.)*d",
                              "(x)?(a|ab|abc|b|bc|c)*(d)", "(x)?(?:(a)b|(b)c|(c)a|[abc])*d"}) {
    Program program;
    std::string error;
    ASSERT_TRUE(regexlib::Compile(pattern, &program, &error)) << pattern;
    for (std::size_t budget = 600; budget <= 6000; budget += 450) {
      TaggedDfa dfa;
      dfa.Init(&program, budget);
      dfa.SetChunk(100);
      for (std::size_t begin = 0; begin < text.size(); begin += 397) {
        const Outcome want = ByPikeVm(program, text, begin, text.size(), UINT64_MAX);
        const Outcome got = ByTaggedDfa(&dfa, text, begin, text.size(), UINT64_MAX);
        if (got.result == TaggedDfa::kGaveUp) continue;
        ASSERT_EQ(got, want) << pattern << " with a cache of " << budget << " from " << begin;
        ++filled;
      }
      resets += dfa.resets();
    }
  }
  EXPECT_GT(resets, 0u);
  EXPECT_GT(filled, 20u);
}

// The step budget pays for building transitions and for the chunks the walk back runs
// again: a search that runs out ends with kOutOfSteps and not with groups half read. A
// group that never took part sends the walk back to the start.
TEST(TaggedDfa, StepBudgetEndsTheSearch) {
  Program program;
  std::string error;
  ASSERT_TRUE(regexlib::Compile("(b)?(a|aa)*c", &program, &error));
  const std::string text = std::string(100000, 'a') + "c";
  TaggedDfa dfa;
  dfa.Init(&program, std::size_t(256) << 10);
  EXPECT_EQ(ByTaggedDfa(&dfa, text, 0, text.size(), 1000).result, TaggedDfa::kOutOfSteps);
  const Outcome whole = ByTaggedDfa(&dfa, text, 0, text.size(), UINT64_MAX);
  ASSERT_EQ(whole.result, TaggedDfa::kMatch);
  EXPECT_EQ(whole.slots, (std::vector<int>{0, 100001, -1, -1, 99999, 100000}));
}

// A state kept for every byte would pass the memory kept for them: every other one is
// dropped, again and again, and the walk back crosses the longer chunks, to the start.
TEST(TaggedDfa, LongerChunksWhereStatesWouldTakeTooMuch) {
  Program program;
  std::string error;
  ASSERT_TRUE(regexlib::Compile("(x)?(?:(a)|b|de|d)*c", &program, &error));
  // The group is set last in the first third; the walk back from the end follows the
  // thread through the rest, whose states change with every "d".
  std::mt19937 rng(5);
  std::string text;
  for (int i = 0; i < 20000; ++i)
    text += "ab"[std::uniform_int_distribution<int>(0, 1)(rng)];
  while (text.size() < 60000) {
    const char* const tokens[] = {"b", "de", "d"};
    text += tokens[std::uniform_int_distribution<int>(0, 2)(rng)];
  }
  text += 'c';
  TaggedDfa everyByte;
  everyByte.Init(&program, std::size_t(256) << 10);
  everyByte.SetChunk(1);
  const Outcome want = ByPikeVm(program, text, 0, text.size(), UINT64_MAX);
  ASSERT_EQ(want.result, TaggedDfa::kMatch);
  EXPECT_EQ(ByTaggedDfa(&everyByte, text, 0, text.size(), UINT64_MAX), want);
}

}  // namespace

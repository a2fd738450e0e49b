// Every pattern of up to five tokens over the letters a and b, on every text of up to five
// letters, against a tiny backtracking matcher that lives only here. Leftmost-first
// semantics make the first match and its groups fully determined, so both must agree; that
// includes loops whose body can match empty, where an empty iteration ends the loop.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "regexlib/matcher.h"

namespace {

// ---- The reference: its own parser and a recursive backtracker ----------------------
struct Ref {
  enum Kind { kChar, kAny, kGroup, kAlt, kCat, kStar, kPlus, kOpt } kind;
  char c = 0;
  int group = 0;
  bool greedy = true;
  std::vector<std::unique_ptr<Ref>> kids;
};

class RefParser {
 public:
  explicit RefParser(const std::string& p) : p_(p) {}
  std::unique_ptr<Ref> Parse() {
    auto r = Alt();
    return ok_ && i_ == p_.size() ? std::move(r) : nullptr;
  }
  int groups() const { return groups_; }

 private:
  std::unique_ptr<Ref> Alt() {
    auto first = Cat();
    if (i_ >= p_.size() || p_[i_] != '|') return first;
    auto alt = std::make_unique<Ref>();
    alt->kind = Ref::kAlt;
    alt->kids.push_back(std::move(first));
    while (i_ < p_.size() && p_[i_] == '|') {
      ++i_;
      alt->kids.push_back(Cat());
    }
    return alt;
  }
  std::unique_ptr<Ref> Cat() {
    auto cat = std::make_unique<Ref>();
    cat->kind = Ref::kCat;
    while (i_ < p_.size() && p_[i_] != '|' && p_[i_] != ')')
      cat->kids.push_back(Repeat());
    return cat;
  }
  std::unique_ptr<Ref> Repeat() {
    auto atom = Atom();
    if (i_ < p_.size() && (p_[i_] == '*' || p_[i_] == '+' || p_[i_] == '?')) {
      auto r = std::make_unique<Ref>();
      r->kind = p_[i_] == '*' ? Ref::kStar : p_[i_] == '+' ? Ref::kPlus : Ref::kOpt;
      ++i_;
      if (i_ < p_.size() && p_[i_] == '?') {
        r->greedy = false;
        ++i_;
      }
      r->kids.push_back(std::move(atom));
      if (i_ < p_.size() && (p_[i_] == '*' || p_[i_] == '+' || p_[i_] == '?')) ok_ = false;
      return r;
    }
    return atom;
  }
  std::unique_ptr<Ref> Atom() {
    auto a = std::make_unique<Ref>();
    if (i_ >= p_.size()) {
      ok_ = false;
      return a;
    }
    const char c = p_[i_++];
    if (c == '(') {
      a->kind = Ref::kGroup;
      a->group = ++groups_;
      a->kids.push_back(Alt());
      if (i_ >= p_.size() || p_[i_] != ')') ok_ = false;
      ++i_;
    } else if (c == '.') {
      a->kind = Ref::kAny;
    } else if (c == 'a' || c == 'b') {
      a->kind = Ref::kChar;
      a->c = c;
    } else {
      ok_ = false;
    }
    return a;
  }
  const std::string& p_;
  std::size_t i_ = 0;
  int groups_ = 0;
  bool ok_ = true;
};

using Caps = std::vector<int>;
using Cont = std::function<bool(std::size_t, Caps&)>;

class Backtracker {
 public:
  explicit Backtracker(const std::string& text) : t_(text) {}

  bool M(const Ref& r, std::size_t pos, Caps& caps, const Cont& k) {
    switch (r.kind) {
      case Ref::kChar:
        return pos < t_.size() && t_[pos] == r.c && k(pos + 1, caps);
      case Ref::kAny:
        return pos < t_.size() && k(pos + 1, caps);
      case Ref::kGroup: {
        const Caps saved = caps;
        caps[2 * std::size_t(r.group)] = int(pos);
        if (M(*r.kids[0], pos, caps, [&](std::size_t end, Caps& c) {
              const int old = c[2 * std::size_t(r.group) + 1];
              c[2 * std::size_t(r.group) + 1] = int(end);
              if (k(end, c)) return true;
              c[2 * std::size_t(r.group) + 1] = old;
              return false;
            })) {
          return true;
        }
        caps = saved;
        return false;
      }
      case Ref::kAlt:
        for (const auto& alt : r.kids) {
          if (M(*alt, pos, caps, k)) return true;
        }
        return false;
      case Ref::kCat:
        return Seq(r, 0, pos, caps, k);
      case Ref::kOpt:
        if (r.greedy) return M(*r.kids[0], pos, caps, k) || k(pos, caps);
        return k(pos, caps) || M(*r.kids[0], pos, caps, k);
      case Ref::kStar:
        return Star(r, pos, caps, k);
      case Ref::kPlus:
        return M(*r.kids[0], pos, caps, Again(r, pos, k));
    }
    return false;
  }

 private:
  bool Seq(const Ref& r, std::size_t i, std::size_t pos, Caps& caps, const Cont& k) {
    if (i == r.kids.size()) return k(pos, caps);
    return M(*r.kids[i], pos, caps, [&](std::size_t p, Caps& c) { return Seq(r, i + 1, p, c, k); });
  }
  // After an iteration that began at pos: one that matched empty ends the loop (Perl's
  // rule), any other goes round again.
  Cont Again(const Ref& r, std::size_t pos, const Cont& k) {
    return [this, &r, pos, &k](std::size_t p, Caps& c) {
      return p == pos ? k(p, c) : Star(r, p, c, k);
    };
  }
  bool Star(const Ref& r, std::size_t pos, Caps& caps, const Cont& k) {
    const Cont again = Again(r, pos, k);
    if (r.greedy) return M(*r.kids[0], pos, caps, again) || k(pos, caps);
    return k(pos, caps) || M(*r.kids[0], pos, caps, again);
  }
  const std::string& t_;
};

// ---- The enumeration -------------------------------------------------------------------
const char* const kTokens[] = {"a", "b", ".", "|", "(", ")", "*", "+", "?", "*?", "??"};

void Patterns(const std::string& prefix, int tokensLeft, std::vector<std::string>* out) {
  out->push_back(prefix);
  if (tokensLeft == 0) return;
  for (const char* t : kTokens)
    Patterns(prefix + t, tokensLeft - 1, out);
}

std::vector<std::string> Texts() {
  std::vector<std::string> out{""};
  for (std::size_t i = 0; i < out.size() && out.back().size() < 5; ++i) {
    if (out[i].size() < 5) {
      out.push_back(out[i] + "a");
      out.push_back(out[i] + "b");
    }
  }
  return out;
}

TEST(Exhaustive, AgreesWithTheReferenceBacktracker) {
  std::vector<std::string> patterns;
  Patterns("", 5, &patterns);
  const std::vector<std::string> texts = Texts();
  std::size_t compared = 0, resets = 0;
  for (const std::string& pattern : patterns) {
    RefParser parser(pattern);
    std::unique_ptr<Ref> tree = parser.Parse();
    if (!tree) continue;
    // As it stands (the backtracker's quick try at the prefilter's candidates, then the
    // DFAs in front of the capturing engines); the DFAs for every search, by the inner run
    // wherever the pattern has one, and never by it, with the tagged DFA filling every
    // match's groups; the backtracker and the Pike VM on their own; the Pike VM alone; and
    // the DFAs with caches so small that searches give up half way and are finished by
    // the capturing engines (the tagged DFA's holds a handful of states).
    regexlib::Matcher standard, dfa, plainDfa, bt, vm, tiny;
    const char* const names[] = {"as it stands",   "DFA by the inner run",
                                 "DFA without it", "backtracker",
                                 "Pike VM",        "DFA with a tiny cache"};
    regexlib::Matcher* const engines[] = {&standard, &dfa, &plainDfa, &bt, &vm, &tiny};
    constexpr int kEngines = int(sizeof engines / sizeof engines[0]);
    dfa.SetQuickSteps(0);
    dfa.UseInner(regexlib::Matcher::kInnerAlways);
    dfa.UseTaggedDfa(regexlib::Matcher::kTaggedAlways);
    plainDfa.SetQuickSteps(0);
    plainDfa.UseInner(regexlib::Matcher::kInnerNever);
    plainDfa.UseTaggedDfa(regexlib::Matcher::kTaggedAlways);
    bt.UseDfa(false);
    vm.UsePikeVmOnly(true);
    tiny.SetQuickSteps(0);
    tiny.UseInner(regexlib::Matcher::kInnerAlways);
    tiny.UseTaggedDfa(regexlib::Matcher::kTaggedAlways);
    tiny.SetDfaBudget(700);
    tiny.SetTaggedDfaBudget(1200);
    for (regexlib::Matcher* e : engines)
      ASSERT_TRUE(e->SetPattern(pattern)) << pattern << ": " << e->Error();
    const std::size_t slots = 2 * std::size_t(parser.groups() + 1);
    for (const std::string& text : texts) {
      Backtracker ref(text);
      Caps want;
      bool found = false;
      for (std::size_t start = 0; start <= text.size() && !found; ++start) {
        Caps caps(slots, -1);
        caps[0] = int(start);
        found = ref.M(*tree, start, caps, [&](std::size_t end, Caps& c) {
          c[1] = int(end);
          want = c;
          return true;
        });
      }
      for (int k = 0; k < kEngines; ++k) {
        regexlib::Matcher* engine = engines[k];
        const bool got = engine->Exec(text.c_str());
        ASSERT_EQ(got, found) << "pattern " << pattern << " text " << text << " (" << names[k]
                              << ")";
        for (std::size_t s = 0; found && s < slots; ++s) {
          const int g = int(s / 2);
          const int have = s % 2 ? engine->GroupEnd(g) : engine->GroupStart(g);
          ASSERT_EQ(have, want[s]) << "pattern " << pattern << " text " << text << " slot " << s
                                   << " (" << names[k] << ")";
        }
      }
      ++compared;
    }
    resets += tiny.dfaResets();
  }
  EXPECT_GT(compared, 300000u);
  EXPECT_GT(resets, 1000u);  // the tiny caches were emptied, and searches gave up, often
}

}  // namespace

// Pattern text to syntax tree. Sections, in order: case folding of Windows-1251 letters
// (OtherCase); the parser's helpers (flags, group frames, the class shorthands, hex digits);
// the Parser class: its main loop (Run), node building (NewNode, SetNode, Literal, Add,
// AddAssert, Finish), groups and flags (ReadFlags, OpenGroup, CloseGroup), repeats
// (ApplyRepeat, Quantifier, Number, BraceOrLiteral), escapes (EscapeValue, Escape) and
// bracket classes (Class); and Parse, its entry point.
#include "regexlib/parser.h"

#include <cctype>
#include <cstring>

namespace regexlib {

unsigned char OtherCase(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c >= 0xC0 && c <= 0xDF) return c + 32;  // Windows-1251 А..Я -> а..я
  if (c >= 0xE0) return c - 32;
  if (c == 0xA8) return 0xB8;  // Ё
  if (c == 0xB8) return 0xA8;
  return c;
}

namespace {

struct Flags {
  bool caseless = false;
  bool multiline = false;
  bool dotAll = true;  // "." matches a line feed unless (?-s)
};

// One open group: its alternatives so far, each a list of nodes to concatenate.
struct Frame {
  int capture = 0;  // group number, or 0 for a group that does not capture
  Flags saved;      // flags in force outside the group
  std::vector<std::vector<int>> alternatives{1};
};

bool IsWordByte(unsigned char c) {
  return std::isalnum(c) || c == '_';
}

ByteSet ClassOf(char letter) {
  ByteSet s;
  for (int c = 0; c < 256; ++c) {
    const unsigned char b = static_cast<unsigned char>(c);
    bool in = false;
    switch (std::tolower(letter)) {
      case 'd':
        in = b >= '0' && b <= '9';
        break;
      case 'w':
        in = IsWordByte(b);
        break;
      case 's':
        in = b == ' ' || (b >= '\t' && b <= '\r');
        break;
    }
    s[c] = in;
  }
  if (std::isupper(static_cast<unsigned char>(letter))) s.flip();
  return s;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class Parser {
 public:
  Parser(const std::string& pattern, SyntaxTree* tree, std::string* error)
      : p_(pattern), t_(tree), error_(error) {}

  bool Run() {
    frames_.push_back(Frame{});
    while (i_ < p_.size()) {
      const char c = p_[i_];
      bool ok = true;
      switch (c) {
        case '(':
          ok = OpenGroup();
          break;
        case ')':
          ok = CloseGroup();
          break;
        case '|':
          ++i_;
          frames_.back().alternatives.emplace_back();
          lastQuantifiable_ = false;
          break;
        case '*':
        case '+':
        case '?':
          ok = Quantifier();
          break;
        case '{':
          ok = BraceOrLiteral();
          break;
        case '[':
          ok = Class();
          break;
        case '.': {
          ++i_;
          ByteSet s;
          s.set();
          if (!flags_.dotAll) s['\n'] = false;
          Add(SetNode(s));
          break;
        }
        case '^':
          ++i_;
          AddAssert(flags_.multiline ? kLineStart : kTextStart);
          break;
        case '$':
          ++i_;
          AddAssert(flags_.multiline ? kLineEnd : kTextEnd);
          break;
        case '\\':
          ok = Escape();
          break;
        default:
          ++i_;
          Add(Literal(static_cast<unsigned char>(c)));
      }
      if (!ok) return false;
    }
    if (frames_.size() != 1) return Fail("missing )");
    t_->root = Finish(frames_.back());
    t_->groups = groups_;
    return true;
  }

 private:
  bool Fail(const std::string& why) {
    *error_ = why + " at offset " + std::to_string(i_);
    return false;
  }

  int NewNode(Node n) {
    t_->nodes.push_back(std::move(n));
    return int(t_->nodes.size()) - 1;
  }

  int SetNode(const ByteSet& s) {
    t_->sets.push_back(s);
    Node n;
    n.kind = NodeKind::kSet;
    n.value = int(t_->sets.size()) - 1;
    return NewNode(n);
  }

  int Literal(unsigned char c) {
    if (flags_.caseless && OtherCase(c) != c) {
      ByteSet s;
      s[c] = true;
      s[OtherCase(c)] = true;
      return SetNode(s);
    }
    Node n;
    n.kind = NodeKind::kByte;
    n.value = c;
    return NewNode(n);
  }

  void Add(int node) {
    frames_.back().alternatives.back().push_back(node);
    lastQuantifiable_ = true;
  }

  void AddAssert(int kind) {
    Node n;
    n.kind = NodeKind::kAssert;
    n.value = kind;
    Add(NewNode(n));
  }

  // Builds the node for a finished group body.
  int Finish(Frame& f) {
    std::vector<int> alts;
    for (auto& seq : f.alternatives) {
      if (seq.size() == 1) {
        alts.push_back(seq[0]);
      } else {
        Node n;
        n.kind = seq.empty() ? NodeKind::kEmpty : NodeKind::kConcat;
        n.children = std::move(seq);
        alts.push_back(NewNode(std::move(n)));
      }
    }
    int body = alts[0];
    if (alts.size() > 1) {
      Node n;
      n.kind = NodeKind::kAlternate;
      n.children = std::move(alts);
      body = NewNode(std::move(n));
    }
    if (f.capture == 0) return body;
    Node n;
    n.kind = NodeKind::kCapture;
    n.value = f.capture;
    n.children = {body};
    return NewNode(std::move(n));
  }

  // Reads flag letters such as "i-s" up to ")" or ":"; applies them to flags.
  bool ReadFlags(Flags* flags) {
    bool on = true;
    while (i_ < p_.size() && p_[i_] != ')' && p_[i_] != ':') {
      switch (p_[i_]) {
        case '-':
          if (!on) return Fail("bad flag group");
          on = false;
          break;
        case 'i':
          flags->caseless = on;
          break;
        case 'm':
          flags->multiline = on;
          break;
        case 's':
          flags->dotAll = on;
          break;
        default:
          return Fail(std::string("unsupported flag '") + p_[i_] + "'");
      }
      ++i_;
    }
    if (i_ >= p_.size()) return Fail("missing )");
    return true;
  }

  bool OpenGroup() {
    if (frames_.size() >= kMaxNesting) return Fail("groups nested too deeply");
    ++i_;  // past "("
    Frame f;
    f.saved = flags_;
    if (i_ < p_.size() && p_[i_] == '?') {
      ++i_;
      if (i_ >= p_.size()) return Fail("missing )");
      const char k = p_[i_];
      if (k == ':') {
        ++i_;
      } else if (k == '<' || (k == 'P' && i_ + 1 < p_.size() && p_[i_ + 1] == '<')) {
        if (k == 'P') ++i_;
        if (i_ + 1 < p_.size() && (p_[i_ + 1] == '=' || p_[i_ + 1] == '!')) {
          return Fail("lookbehind is not supported");
        }
        const std::size_t close = p_.find('>', i_);
        if (close == std::string::npos || close == i_ + 1) return Fail("bad group name");
        for (std::size_t j = i_ + 1; j < close; ++j) {
          if (!IsWordByte(static_cast<unsigned char>(p_[j]))) return Fail("bad group name");
        }
        i_ = close + 1;
        if (++groups_ > kMaxGroups) return Fail("too many groups");
        f.capture = groups_;
      } else if (k == '=' || k == '!') {
        return Fail("lookahead is not supported");
      } else if (k == '>') {
        return Fail("atomic groups are not supported");
      } else if (k == 'R' || k == '&' || (k >= '0' && k <= '9') || k == '+' || k == 'P') {
        return Fail("recursion is not supported");
      } else if (k == '#') {
        return Fail("comments are not supported");
      } else {
        Flags flags = flags_;
        if (!ReadFlags(&flags)) return false;
        if (p_[i_] == ')') {  // (?i): for the rest of the enclosing group
          ++i_;
          flags_ = flags;
          lastQuantifiable_ = false;
          return true;
        }
        ++i_;  // (?i:...)
        flags_ = flags;
      }
    } else {
      if (++groups_ > kMaxGroups) return Fail("too many groups");
      f.capture = groups_;
    }
    frames_.push_back(std::move(f));
    lastQuantifiable_ = false;
    return true;
  }

  bool CloseGroup() {
    if (frames_.size() == 1) return Fail("unmatched )");
    ++i_;
    Frame f = std::move(frames_.back());
    frames_.pop_back();
    flags_ = f.saved;
    Add(Finish(f));
    return true;
  }

  bool ApplyRepeat(int min, int max) {
    if (!lastQuantifiable_) return Fail("nothing to repeat");
    if (min > kMaxRepeat || max > kMaxRepeat) return Fail("repetition count over 1000");
    bool greedy = true;
    if (i_ < p_.size() && p_[i_] == '?') {
      greedy = false;
      ++i_;
    } else if (i_ < p_.size() && p_[i_] == '+') {
      return Fail("possessive quantifiers are not supported");
    }
    auto& seq = frames_.back().alternatives.back();
    Node n;
    n.kind = NodeKind::kRepeat;
    n.min = min;
    n.max = max;
    n.greedy = greedy;
    n.children = {seq.back()};
    seq.back() = NewNode(std::move(n));
    lastQuantifiable_ = false;
    return true;
  }

  bool Quantifier() {
    const char c = p_[i_++];
    if (c == '*') return ApplyRepeat(0, -1);
    if (c == '+') return ApplyRepeat(1, -1);
    return ApplyRepeat(0, 1);
  }

  // Reads a decimal number of at most 9 digits; -1 when there is none.
  long Number() {
    long v = -1;
    std::size_t digits = 0;
    while (i_ < p_.size() && std::isdigit(static_cast<unsigned char>(p_[i_]))) {
      v = (v < 0 ? 0 : v) * 10 + (p_[i_] - '0');
      ++i_;
      if (++digits > 9) return kMaxRepeat + 1;
    }
    return v;
  }

  // {m}, {m,} or {m,n}; any other "{" is a literal brace.
  bool BraceOrLiteral() {
    const std::size_t at = i_;
    ++i_;
    const long min = Number();
    long max = min;
    bool valid = min >= 0;
    if (valid && i_ < p_.size() && p_[i_] == ',') {
      ++i_;
      max = Number();  // -1: no upper bound
    }
    valid = valid && i_ < p_.size() && p_[i_] == '}';
    if (!valid) {
      i_ = at + 1;
      Add(Literal('{'));
      return true;
    }
    ++i_;
    if (max >= 0 && max < min) return Fail("repetition bounds out of order");
    return ApplyRepeat(int(min), int(max));
  }

  // Reads one escape after "\" (i_ at the letter). Sets either *byte or *set.
  bool EscapeValue(bool inClass, int* byte, ByteSet* set, bool* isSet) {
    if (i_ >= p_.size()) return Fail("pattern ends with \\");
    const char c = p_[i_++];
    *isSet = false;
    switch (c) {
      case 't':
        *byte = '\t';
        return true;
      case 'n':
        *byte = '\n';
        return true;
      case 'r':
        *byte = '\r';
        return true;
      case 'f':
        *byte = '\f';
        return true;
      case 'v':
        *byte = '\v';
        return true;
      case 'x': {
        if (i_ + 1 >= p_.size() || HexValue(p_[i_]) < 0 || HexValue(p_[i_ + 1]) < 0) {
          return Fail("\\x needs two hex digits");
        }
        *byte = HexValue(p_[i_]) * 16 + HexValue(p_[i_ + 1]);
        i_ += 2;
        return true;
      }
      case 'd':
      case 'D':
      case 'w':
      case 'W':
      case 's':
      case 'S':
        *set = ClassOf(c);
        *isSet = true;
        return true;
      default:
        break;
    }
    const unsigned char u = static_cast<unsigned char>(c);
    if (std::isalnum(u)) {
      if (!inClass && (c == 'b' || c == 'B' || c == 'A' || c == 'z')) {
        --i_;
        return Fail("assertion");  // handled by the caller before it gets here
      }
      if (std::isdigit(u)) return Fail("backreferences are not supported");
      return Fail(std::string("unknown escape \\") + c);
    }
    *byte = u;  // escaped punctuation, or a byte of 0x80 or above, is itself
    return true;
  }

  bool Escape() {
    ++i_;
    if (i_ < p_.size()) {
      switch (p_[i_]) {
        case 'b':
          ++i_;
          AddAssert(kWordBoundary);
          return true;
        case 'B':
          ++i_;
          AddAssert(kNotWordBoundary);
          return true;
        case 'A':
          ++i_;
          AddAssert(kTextStart);
          return true;
        case 'z':
          ++i_;
          AddAssert(kTextEnd);
          return true;
        default:
          break;
      }
    }
    int byte = 0;
    ByteSet set;
    bool isSet = false;
    if (!EscapeValue(false, &byte, &set, &isSet)) return false;
    Add(isSet ? SetNode(set) : Literal(static_cast<unsigned char>(byte)));
    return true;
  }

  bool Class() {
    ++i_;  // past "["
    bool negate = false;
    if (i_ < p_.size() && p_[i_] == '^') {
      negate = true;
      ++i_;
    }
    ByteSet s;
    bool first = true;
    for (;;) {
      if (i_ >= p_.size()) return Fail("missing ]");
      char c = p_[i_];
      if (c == ']' && !first) {
        ++i_;
        break;
      }
      first = false;
      if (c == '[' && i_ + 1 < p_.size() &&
          (p_[i_ + 1] == ':' || p_[i_ + 1] == '=' || p_[i_ + 1] == '.')) {
        const std::size_t end = p_.find(std::string(1, p_[i_ + 1]) + "]", i_ + 2);
        if (end != std::string::npos) return Fail("POSIX classes are not supported");
      }
      int lo;
      if (c == '\\') {
        ++i_;
        ByteSet esc;
        bool isSet = false;
        if (!EscapeValue(true, &lo, &esc, &isSet)) return false;
        if (isSet) {
          s |= esc;
          continue;
        }
      } else {
        lo = static_cast<unsigned char>(c);
        ++i_;
      }
      // A range "lo-hi", unless the "-" is the last thing before "]".
      if (i_ + 1 < p_.size() && p_[i_] == '-' && p_[i_ + 1] != ']') {
        ++i_;
        int hi;
        if (p_[i_] == '\\') {
          ++i_;
          ByteSet esc;
          bool isSet = false;
          if (!EscapeValue(true, &hi, &esc, &isSet)) return false;
          if (isSet) return Fail("class escape in a range");
        } else {
          hi = static_cast<unsigned char>(p_[i_]);
          ++i_;
        }
        if (hi < lo) return Fail("range out of order");
        for (int b = lo; b <= hi; ++b)
          s[b] = true;
      } else {
        s[lo] = true;
      }
    }
    if (flags_.caseless) {
      ByteSet folded = s;
      for (int b = 0; b < 256; ++b) {
        if (s[b]) folded[OtherCase(static_cast<unsigned char>(b))] = true;
      }
      s = folded;
    }
    if (negate) s.flip();
    Add(SetNode(s));
    return true;
  }

  const std::string& p_;
  SyntaxTree* t_;
  std::string* error_;
  std::size_t i_ = 0;
  std::vector<Frame> frames_;
  Flags flags_;
  int groups_ = 0;
  bool lastQuantifiable_ = false;
};

}  // namespace

bool Parse(const std::string& pattern, SyntaxTree* tree, std::string* error) {
  *tree = SyntaxTree{};
  Parser parser(pattern, tree, error);
  return parser.Run();
}

}  // namespace regexlib

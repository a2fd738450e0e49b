#include "regexlib/compiler.h"

#include <vector>

#include "regexlib/analysis.h"

namespace regexlib {

namespace {

struct Task {
  explicit Task(int n) : node(n) {}
  int node;
  int stage = 0;
  int mark = -1;   // an instruction index the task comes back to
  int entry = -1;  // a loop's entry jump, patched once the loop is laid out
  std::vector<int> holes;
};

class Compiler {
 public:
  Compiler(const SyntaxTree& tree, Program* program) : t_(tree), p_(program) {
    // Children are made before their parents, so one pass in index order would do; the
    // passes repeat until nothing changes in case a tree is ever built otherwise.
    nullable_.assign(t_.nodes.size(), false);
    for (bool changed = true; changed;) {
      changed = false;
      for (std::size_t k = 0; k < t_.nodes.size(); ++k) {
        if (!nullable_[k] && ComputeNullable(t_.nodes[k])) {
          nullable_[k] = true;
          changed = true;
        }
      }
    }
  }

  bool Run(std::string* error) {
    Emit(Op::kSave, 0);
    std::vector<Task> stack;
    stack.push_back(Task(t_.root));
    while (!stack.empty()) {
      if (p_->code.size() > kMaxProgram) {
        *error = "pattern too large";
        return false;
      }
      const std::size_t ti = stack.size() - 1;
      const Node& n = t_.nodes[std::size_t(stack[ti].node)];
      int push = -1;
      bool done = false;
      switch (n.kind) {
        case NodeKind::kEmpty:
          done = true;
          break;
        case NodeKind::kByte:
          Emit(Op::kByte, n.value);
          done = true;
          break;
        case NodeKind::kSet:
          Emit(Op::kSet, n.value);
          done = true;
          break;
        case NodeKind::kAssert:
          Emit(Op::kAssert, n.value);
          done = true;
          break;
        case NodeKind::kConcat:
          if (stack[ti].stage < int(n.children.size())) {
            push = n.children[std::size_t(stack[ti].stage++)];
          } else {
            done = true;
          }
          break;
        case NodeKind::kCapture:
          if (stack[ti].stage++ == 0) {
            Emit(Op::kSave, 2 * n.value);
            push = n.children[0];
          } else {
            Emit(Op::kSave, 2 * n.value + 1);
            done = true;
          }
          break;
        case NodeKind::kAlternate:
          push = Alternate(n, &stack[ti], &done);
          break;
        case NodeKind::kRepeat:
          push = Repeat(n, &stack[ti], &done);
          break;
      }
      if (done) {
        stack.pop_back();
      } else if (push >= 0) {
        stack.push_back(Task(push));
      }
    }
    Emit(Op::kSave, 1);
    Emit(Op::kMatch);
    if (p_->code.size() > kMaxProgram) {
      *error = "pattern too large";
      return false;
    }
    return true;
  }

 private:
  int Pc() const { return int(p_->code.size()); }

  int Emit(Op op, int x = 0, int y = 0) {
    p_->code.push_back(Inst{op, x, y});
    return Pc() - 1;
  }

  void Patch(const std::vector<int>& holes, int target) {
    for (int h : holes) {
      Inst& inst = p_->code[std::size_t(h / 2)];
      (h % 2 == kHoleY ? inst.y : inst.x) = target;
    }
  }

  // Alternatives a|b|c: split to each in turn; each but the last jumps to the end.
  int Alternate(const Node& n, Task* t, bool* done) {
    const int k = int(n.children.size());
    const int s = t->stage;
    if (s > 0 && s <= k - 1) {
      t->holes.push_back(Emit(Op::kJmp, -1) * 2 + kHoleX);
      p_->code[std::size_t(t->mark)].y = Pc();
    }
    if (s == k) {
      Patch(t->holes, Pc());
      *done = true;
      return -1;
    }
    if (s < k - 1) t->mark = Emit(Op::kSplit, Pc() + 1, -1);
    ++t->stage;
    return n.children[std::size_t(s)];
  }

  // x{min,max}: the required copies, then either a loop (no upper bound) or max - min
  // optional copies, each of which may skip to the end.
  int Repeat(const Node& n, Task* t, bool* done) {
    const int child = n.children[0];
    const bool unbounded = n.max < 0;
    const int required = unbounded && n.min > 0 ? n.min - 1 : n.min;
    const int s = t->stage;
    if (s < required) {
      ++t->stage;
      return child;
    }
    if (unbounded && nullable_[std::size_t(child)]) return NullableLoop(n, t, done);
    if (unbounded) {
      if (s == required) {
        t->mark = Pc();
        if (n.min == 0) {
          const int split =
              n.greedy ? Emit(Op::kSplit, Pc() + 1, -1) : Emit(Op::kSplit, -1, Pc() + 1);
          t->holes.push_back(split * 2 + (n.greedy ? kHoleY : kHoleX));
        }
        ++t->stage;
        return child;
      }
      if (n.min == 0) {
        Emit(Op::kJmp, t->mark);
        Patch(t->holes, Pc());
      } else if (n.greedy) {
        Emit(Op::kSplit, t->mark, Pc() + 1);
      } else {
        Emit(Op::kSplit, Pc() + 1, t->mark);
      }
      *done = true;
      return -1;
    }
    const int optional = n.max - n.min;
    if (s - required < optional) {
      const int split = n.greedy ? Emit(Op::kSplit, Pc() + 1, -1) : Emit(Op::kSplit, -1, Pc() + 1);
      t->holes.push_back(split * 2 + (n.greedy ? kHoleY : kHoleX));
      ++t->stage;
      return child;
    }
    Patch(t->holes, Pc());
    *done = true;
    return -1;
  }

  bool ComputeNullable(const Node& n) const {
    switch (n.kind) {
      case NodeKind::kEmpty:
      case NodeKind::kAssert:
        return true;
      case NodeKind::kByte:
      case NodeKind::kSet:
        return false;
      case NodeKind::kCapture:
        return nullable_[std::size_t(n.children[0])];
      case NodeKind::kRepeat:
        return n.min == 0 || nullable_[std::size_t(n.children[0])];
      case NodeKind::kConcat:
        for (int c : n.children) {
          if (!nullable_[std::size_t(c)]) return false;
        }
        return true;
      case NodeKind::kAlternate:
        for (int c : n.children) {
          if (nullable_[std::size_t(c)]) return true;
        }
        return false;
    }
    return false;
  }

  // The unbounded loop (x* or x+, greedy or lazy) of a body that can match empty. An
  // iteration that matches empty ends the loop and the match goes on after it: the body
  // runs as two copies. The first (E) runs while the iteration has consumed nothing; its
  // byte tests go on in the second (C), the ordinary body. E finishing leaves the loop, C
  // finishing comes back to the loop's choice. The state stays a program position, so
  // every engine keeps its guarantees.
  //     Jmp S (x*) or E (x+)
  //  C: body
  //  S: Split E, X (greedy) or Split X, E (lazy)
  //  E: the body's instructions reachable without consuming; a byte test is followed by
  //     a jump to the instruction after its original in C; reaching S means X
  //  X:
  int NullableLoop(const Node& n, Task* t, bool* done) {
    if (t->entry < 0) {
      t->entry = Emit(Op::kJmp, -1);
      t->mark = Pc();
      return n.children[0];
    }
    const int split = Pc();
    const int e = split + 1;
    if (n.greedy) {
      t->holes.push_back(Emit(Op::kSplit, e, -1) * 2 + kHoleY);
    } else {
      t->holes.push_back(Emit(Op::kSplit, -1, e) * 2 + kHoleX);
    }
    p_->code[std::size_t(t->entry)].x = n.min == 0 ? split : e;
    EmitEmptyCopy(p_, t->mark, split, &t->holes);
    Patch(t->holes, Pc());
    *done = true;
    return -1;
  }

  const SyntaxTree& t_;
  Program* p_;
  std::vector<bool> nullable_;
};

}  // namespace

bool Compile(const std::string& pattern, Program* program, std::string* error) {
  *program = Program{};
  SyntaxTree tree;
  if (!Parse(pattern, &tree, error)) return false;
  program->sets = tree.sets;
  program->groups = tree.groups;
  Compiler compiler(tree, program);
  if (!compiler.Run(error)) {
    *program = Program{};
    return false;
  }
  Analyse(program);
  return true;
}

}  // namespace regexlib

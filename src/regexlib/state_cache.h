// What the lazily built DFAs share about their caches: a state is found by its key (a list
// of ints), and a rule tells when emptying a full cache has stopped paying.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace regexlib {

struct StateKeyHash {
  std::size_t operator()(const std::vector<int>& key) const {
    std::uint64_t h = 1469598103934665603ull;
    for (int v : key) {
      h ^= std::uint32_t(v);
      h *= 1099511628211ull;
    }
    return std::size_t(h ^ (h >> 29));
  }
};

// Emptying a cache now and then is fine; emptying it again and again while reading only a
// few bytes per state built means the DFA is slower than the Pike VM would be.
class ResetRule {
 public:
  void BeginSearch() {
    searchResets_ = 0;
    lastResetAt_ = 0;
  }
  // Counts the emptying of a cache that held states, progress bytes into the search; false
  // when the search should give up.
  bool Allow(std::size_t progress, std::size_t states) {
    ++resets_;
    ++searchResets_;
    const bool slow = progress - std::min(progress, lastResetAt_) < kBytesPerState * states;
    lastResetAt_ = progress;
    return searchResets_ <= kFreeResets || !slow;
  }
  std::size_t resets() const { return resets_; }  // over the cache's life

 private:
  // A search may empty the cache this often before the rule applies ...
  static constexpr std::size_t kFreeResets = 3;
  // ... which then asks for this many bytes read per state the cache held.
  static constexpr std::size_t kBytesPerState = 10;
  std::size_t resets_ = 0;
  std::size_t searchResets_ = 0;
  std::size_t lastResetAt_ = 0;
};

}  // namespace regexlib

#include "platform/sqlserver/translation/like_pattern.h"

#include <vector>

namespace sqlsrv {
namespace {

char16_t Fold(char16_t c, bool case_sensitive) {
  return !case_sensitive && c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// One step of a pattern: a run of any characters, or one character that
// is any, a given one, or one in (or not in) a set of ranges.
struct Step {
  enum Kind { kRun, kAny, kOne, kSet } kind = kOne;
  char16_t c = 0;
  std::vector<std::pair<char16_t, char16_t>> ranges;
  bool negated = false;

  bool Matches(char16_t v, bool case_sensitive) const {
    v = Fold(v, case_sensitive);
    switch (kind) {
      case kAny: return true;
      case kOne: return v == c;
      case kSet: {
        bool in = false;
        for (const auto& [lo, hi] : ranges) in = in || (v >= lo && v <= hi);
        return in != negated;
      }
      case kRun: break;
    }
    return false;
  }
};

std::vector<Step> Compile(std::u16string_view p, bool case_sensitive, std::optional<char16_t> escape) {
  std::vector<Step> steps;
  for (std::size_t i = 0; i < p.size(); ++i) {
    Step s;
    const char16_t c = p[i];
    if (escape && c == *escape && i + 1 < p.size()) {
      s.c = Fold(p[++i], case_sensitive);
    } else if (c == u'%') {
      if (!steps.empty() && steps.back().kind == Step::kRun) continue;
      s.kind = Step::kRun;
    } else if (c == u'_') {
      s.kind = Step::kAny;
    } else if (c == u'[' && p.find(u']', i + 2) != std::u16string_view::npos) {
      std::size_t j = i + 1;
      s.kind = Step::kSet;
      if (p[j] == u'^') {
        s.negated = true;
        ++j;
      }
      // A ']' first in the set is one of its characters.
      bool first = true;
      while (j < p.size() && (p[j] != u']' || first)) {
        first = false;
        char16_t lo = p[j];
        if (escape && lo == *escape && j + 1 < p.size()) lo = p[++j];
        char16_t hi = lo;
        if (j + 2 < p.size() && p[j + 1] == u'-' && p[j + 2] != u']') {
          hi = p[j + 2];
          j += 2;
        }
        lo = Fold(lo, case_sensitive);
        hi = Fold(hi, case_sensitive);
        if (lo <= hi) s.ranges.emplace_back(lo, hi);
        ++j;
      }
      if (j >= p.size()) {  // no ']' closes it after all: '[' is itself
        s = Step{};
        s.c = u'[';
      } else {
        i = j;
      }
    } else {
      s.c = Fold(c, case_sensitive);
    }
    steps.push_back(std::move(s));
  }
  return steps;
}

}  // namespace

bool LikeMatches(std::u16string_view value, std::u16string_view pattern, bool case_sensitive,
                 std::optional<char16_t> escape) {
  const std::vector<Step> steps = Compile(pattern, case_sensitive, escape);
  // Every step but a run matches one character: the usual matching of
  // wildcards, going back only to the last run seen.
  std::size_t v = 0, s = 0;
  std::size_t run = steps.size(), run_v = 0;
  while (v < value.size()) {
    if (s < steps.size() && steps[s].kind == Step::kRun) {
      run = s++;
      run_v = v;
    } else if (s < steps.size() && steps[s].Matches(value[v], case_sensitive)) {
      ++s;
      ++v;
    } else if (run != steps.size()) {
      s = run + 1;
      v = ++run_v;
    } else {
      return false;
    }
  }
  while (s < steps.size() && steps[s].kind == Step::kRun) ++s;
  return s == steps.size();
}

}  // namespace sqlsrv

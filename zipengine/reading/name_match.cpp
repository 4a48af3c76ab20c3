// Portable. Pattern matching over byte texts in the ANSI code page; a
// double-byte character always moves as one.
#include "name_match.h"

#include "platform/code_page.h"

namespace {

// Length in bytes of the character at p (1, or 2 for a lead byte).
int char_length(const unsigned char* p) {
  if (p[0] && p[1] && platform::code_page().is_lead_byte(p[0])) return 2;
  return 1;
}

unsigned char fold_if(unsigned char c, bool fold) { return fold ? fold_byte(c) : c; }

// Finds the ']' that ends the set whose body starts at p (after '[' and any
// negation). Returns nullptr when there is none.
const unsigned char* set_end(const unsigned char* p) {
  while (*p) {
    if (*p == '\\') {
      if (!p[1]) return nullptr;
      p += 2;
    } else if (*p == ']') {
      return p;
    } else {
      p += char_length(p);
    }
  }
  return nullptr;
}

// True when c is in the set body [body, end).
bool in_set(const unsigned char* body, const unsigned char* end, unsigned char c, bool fold) {
  unsigned char want = fold_if(c, fold);
  const unsigned char* p = body;
  bool at_start = true;
  while (p < end) {
    unsigned char lo;
    if (*p == '-' && at_start) {
      lo = '-';
      ++p;
    } else if (*p == '\\' && p + 1 < end) {
      lo = p[1];
      p += 2;
    } else {
      lo = *p;
      ++p;
    }
    at_start = false;
    if (p < end && *p == '-') {
      // A range; without a character after the '-' it never closes and
      // holds nothing.
      ++p;
      if (p >= end) return false;
      unsigned char hi;
      if (*p == '\\' && p + 1 < end) {
        hi = p[1];
        p += 2;
      } else {
        hi = *p;
        ++p;
      }
      for (unsigned b = lo; b <= hi; ++b)
        if (fold_if(static_cast<unsigned char>(b), fold) == want) return true;
      continue;
    }
    if (fold_if(lo, fold) == want) return true;
  }
  return false;
}

int match(const unsigned char* p, const unsigned char* s, bool fold) {
  for (;;) {
    unsigned char c = *p;
    if (c == 0) return *s == 0 ? 1 : 0;
    if (c == '*') {
      if (p[1] == 0) return 1;
      for (; *s; s += char_length(s)) {
        int r = match(p + 1, s, fold);
        if (r != 0) return r;
      }
      return 2;
    }
    if (*s == 0) return 0;
    if (c == '?') {
      ++p;
      s += char_length(s);
      continue;
    }
    if (c == '[') {
      const unsigned char* body = p + 1;
      bool negate = (*body == '!' || *body == '^');
      if (negate) ++body;
      const unsigned char* end = set_end(body);
      if (!end) return 0;
      bool hit = in_set(body, end, *s, fold);
      if (hit == negate) return 0;
      p = end + 1;
      s += char_length(s);
      continue;
    }
    if (c == '\\') {
      if (p[1] == 0) return 0;
      ++p;
      c = *p;
    }
    int n = char_length(p);
    if (n == 2) {
      if (p[0] != s[0] || p[1] != s[1]) return 0;
      p += 2;
      s += 2;
      continue;
    }
    if (fold_if(c, fold) != fold_if(*s, fold)) return 0;
    ++p;
    ++s;
  }
}

}  // namespace

unsigned char fold_byte(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<unsigned char>(c | 0x20);
  return c;
}

int match_pattern(const char* pattern, const char* name, bool fold_case) {
  return match(reinterpret_cast<const unsigned char*>(pattern), reinterpret_cast<const unsigned char*>(name),
               fold_case);
}

bool name_matches(const char* name, const char* pattern, bool fold_case) {
  return match_pattern(pattern, name, fold_case) == 1;
}

bool has_wildcards(const char* text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p) {
    if (*p == '\\') {
      if (!p[1]) return false;
      p += 1 + char_length(p + 1);
      continue;
    }
    if (*p == '*' || *p == '?' || *p == '[') return true;
    p += char_length(p);
  }
  return false;
}

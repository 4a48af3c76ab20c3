// Portable. The pattern matcher for entry names and archive names: '*', '?',
// '[...]' sets and backslash escapes, optionally without regard to case.
#pragma once

// 1 match, 0 no match, 2 no match possible (the name ran out under a '*').
int match_pattern(const char* pattern, const char* name, bool fold_case);

// True when `pattern` matches the whole of `name`.
bool name_matches(const char* name, const char* pattern, bool fold_case);

// True when `text` holds '*', '?' or '[' not preceded by a backslash.
bool has_wildcards(const char* text);

// The byte as the matcher compares it when folding case: 'A'..'Z' and the
// Latin-1 capitals 0xC0..0xDE (but 0xD7) become lower case.
unsigned char fold_byte(unsigned char c);

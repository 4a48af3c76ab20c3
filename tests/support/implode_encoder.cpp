// Test support: Implode encoder. Trees: Huffman code lengths (every symbol
// gets one, at most 16 bits), stored as runs of equal lengths; code values
// assigned by the Shannon-Fano procedure of the format description: sort
// the lengths ascending (ties keep their order), walk from the last entry to
// the first adding an increment of 2^(16 - length), and send each 16-bit
// code from its most significant bit.
#include "support/implode_encoder.h"

#include <algorithm>
#include <numeric>
#include <queue>

#include "support/bit_writer.h"

namespace {

struct tree {
  std::vector<uint8_t> lengths;
  std::vector<uint16_t> codes;  // 16-bit Shannon-Fano values, code in the top bits
};

tree make_tree(const std::vector<uint32_t>& freq) {
  tree t;
  t.lengths = implode_code_lengths(freq);
  size_t n = t.lengths.size();
  std::vector<size_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return t.lengths[a] < t.lengths[b]; });
  t.codes.assign(n, 0);
  uint32_t code = 0, increment = 0;
  unsigned last_length = 0;
  for (size_t i = n; i-- > 0;) {
    code += increment;
    unsigned len = t.lengths[order[i]];
    if (len != last_length) {
      last_length = len;
      increment = 1u << (16 - len);
    }
    t.codes[order[i]] = static_cast<uint16_t>(code);
  }
  return t;
}

void put_symbol(bit_writer& w, const tree& t, unsigned s) {
  unsigned len = t.lengths[s];
  w.put_code(t.codes[s] >> (16 - len), len);
}

// Runs of equal lengths, at most 16 per byte; first the byte count minus 1.
void put_tree_description(std::vector<uint8_t>& out, const std::vector<uint8_t>& lengths) {
  std::vector<uint8_t> runs;
  for (size_t i = 0; i < lengths.size();) {
    size_t j = i;
    while (j < lengths.size() && lengths[j] == lengths[i] && j - i < 16) ++j;
    runs.push_back(static_cast<uint8_t>(((j - i - 1) << 4) | (lengths[i] - 1)));
    i = j;
  }
  out.push_back(static_cast<uint8_t>(runs.size() - 1));
  out.insert(out.end(), runs.begin(), runs.end());
}

}  // namespace

std::vector<uint8_t> implode_code_lengths(std::vector<uint32_t> freq) {
  for (auto& f : freq) f = std::max<uint32_t>(f, 1);
  for (;;) {
    // Plain Huffman over all symbols; depth gives the length.
    size_t n = freq.size();
    std::vector<uint64_t> weight(freq.begin(), freq.end());
    std::vector<int> parent(2 * n, -1);
    using item = std::pair<uint64_t, int>;
    std::priority_queue<item, std::vector<item>, std::greater<item>> q;
    for (size_t i = 0; i < n; ++i) q.push({weight[i], static_cast<int>(i)});
    int next = static_cast<int>(n);
    while (q.size() > 1) {
      auto a = q.top();
      q.pop();
      auto b = q.top();
      q.pop();
      parent[a.second] = parent[b.second] = next;
      q.push({a.first + b.first, next++});
    }
    std::vector<uint8_t> lengths(n);
    bool fits = true;
    for (size_t i = 0; i < n; ++i) {
      unsigned d = 0;
      for (int p = parent[i]; p >= 0; p = parent[p]) ++d;
      if (d > 16) fits = false;
      lengths[i] = static_cast<uint8_t>(std::max(d, 1u));
    }
    if (fits) return lengths;
    for (auto& f : freq) f = (f + 1) / 2;  // flatten and try again
  }
}

std::vector<uint8_t> implode_encode(const std::vector<implode_token>& tokens, const implode_options& o) {
  const unsigned low_bits = o.dictionary_8k ? 7 : 6;
  std::vector<uint32_t> lit_freq(256), len_freq(64), dist_freq(64);
  for (const auto& t : tokens) {
    if (t.distance == 0) {
      lit_freq[t.length]++;
    } else {
      len_freq[std::min(t.length - o.minimum_match(), 63u)]++;
      dist_freq[(t.distance - 1) >> low_bits]++;
    }
  }
  tree lit = make_tree(lit_freq), len = make_tree(len_freq), dist = make_tree(dist_freq);
  std::vector<uint8_t> out;
  if (o.literal_tree) put_tree_description(out, lit.lengths);
  put_tree_description(out, len.lengths);
  put_tree_description(out, dist.lengths);
  bit_writer w;
  for (const auto& t : tokens) {
    if (t.distance == 0) {
      w.put_bits(1, 1);
      if (o.literal_tree)
        put_symbol(w, lit, t.length);
      else
        w.put_bits(t.length, 8);
      continue;
    }
    w.put_bits(0, 1);
    w.put_bits((t.distance - 1) & ((1u << low_bits) - 1), low_bits);
    put_symbol(w, dist, (t.distance - 1) >> low_bits);
    unsigned l = t.length - o.minimum_match();
    if (l >= 63) {
      put_symbol(w, len, 63);
      w.put_bits(l - 63, 8);
    } else {
      put_symbol(w, len, l);
    }
  }
  auto body = w.finish();
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::vector<uint8_t> implode_compress(const std::vector<uint8_t>& data, const implode_options& o) {
  const size_t n = data.size(), window = o.dictionary_size();
  const unsigned min = o.minimum_match(), max = o.maximum_match();
  // Hash chains over the next `min` bytes.
  std::vector<int64_t> head(1 << 16, -1), prev(n, -1);
  auto hash = [&](size_t i) {
    uint32_t h = data[i] * 251u + data[i + 1];
    if (min == 3) h = h * 251u + data[i + 2];
    return h & 0xFFFF;
  };
  std::vector<implode_token> tokens;
  size_t i = 0;
  auto insert = [&](size_t k) {
    if (k + min <= n) {
      uint32_t h = hash(k);
      prev[k] = head[h];
      head[h] = static_cast<int64_t>(k);
    }
  };
  while (i < n) {
    size_t best_len = 0, best_dist = 0;
    if (i + min <= n) {
      int chain = 64;
      for (int64_t c = head[hash(i)]; c >= 0 && chain-- > 0; c = prev[c]) {
        size_t d = i - static_cast<size_t>(c);
        if (d > window) break;
        size_t l = 0;
        while (l < max && i + l < n && data[c + l] == data[i + l]) ++l;
        if (l > best_len) {
          best_len = l;
          best_dist = d;
        }
      }
    }
    if (best_len >= min) {
      tokens.push_back({static_cast<uint32_t>(best_dist), static_cast<uint32_t>(best_len)});
      for (size_t k = 0; k < best_len; ++k) insert(i + k);
      i += best_len;
    } else {
      tokens.push_back({0, data[i]});
      insert(i);
      ++i;
    }
  }
  return implode_encode(tokens, o);
}

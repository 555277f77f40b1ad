// Hierarchical element identifiers: a path of child ordinals encoded as a continued fraction p/q.
#pragma once
#include <cstdint>

// The path (o0, ..., on-1) is the continued fraction [o0+2; o1+2, ...] = num/den. Every term is at
// least 2, so the expansion is unique; valid identifiers have 0 <= den <= num.
struct hid {
  int32_t num;
  int32_t den;
};

inline constexpr hid NULL_HID = {0, 0};

// The 2x2 matrix ((p, p'), (q, q')) of an identifier, read row by row: (p, p', q, q').
struct hid_mobius {
  int32_t p, p1, q, q1;
};

inline int hid_equals(hid a, hid b) { return a.num == b.num && a.den == b.den; }

inline hid hid_private_make(int32_t p, int32_t q) {
  if (q < 0 || q > p) return NULL_HID;
  return {p, q};
}

// Wide trees or deep paths can exceed 32 bits: such an identifier is NULL_HID rather than a wrapped value.
inline bool private_hid_fits(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

inline hid private_hid_make64(int64_t p, int64_t q) {
  if (!private_hid_fits(p) || !private_hid_fits(q)) return NULL_HID;
  return hid_private_make(int32_t(p), int32_t(q));
}

// Folds the terms from the last backwards: (num, den) <- (t * num + den, num), starting from (1, 0).
inline hid hid_from_continuous_fractions(const int32_t* terms, int32_t n) {
  int64_t num = 1, den = 0;
  for (int32_t k = n - 1; k >= 0; --k) {
    int64_t next = int64_t(terms[k]) * num + den;
    den = num;
    num = next;
    if (!private_hid_fits(num) || !private_hid_fits(den)) return NULL_HID;
  }
  return private_hid_make64(num, den);
}

// Ordinals become terms by adding 2; the first term must be >= 0 and every later one >= 1.
inline hid hid_make(const int32_t* ordinals, int32_t n) {
  if (n < 0) return NULL_HID;
  for (int32_t k = 0; k < n; ++k) {
    int64_t term = int64_t(ordinals[k]) + 2;
    if (term < (k == 0 ? 0 : 1)) return NULL_HID;
  }
  int64_t num = 1, den = 0;
  for (int32_t k = n - 1; k >= 0; --k) {
    int64_t next = (int64_t(ordinals[k]) + 2) * num + den;
    den = num;
    num = next;
    if (!private_hid_fits(num)) return NULL_HID;
  }
  return private_hid_make64(num, den);
}

inline hid hid_make1(int32_t k) { return hid_make(&k, 1); }

inline int64_t private_hid_abs(int64_t v) { return v < 0 ? -v : v; }

// The convergent before p/q comes out of the extended Euclidean algorithm, so the terms are never stored.
inline hid_mobius hid_to_mobius(hid h) {
  if (h.den == 0) return {h.num, 0, 0, 1};
  int64_t a = h.num, b = h.den, s = 1, s_old = 0, u = 1, u_next = 0;
  for (;;) {
    int64_t k = a / b;
    int64_t w = u - u_next * k;
    if (a % b == 0) break;
    u = u_next;
    int64_t r = a % b;
    a = b;
    b = r;
    int64_t s_next = s_old - k * s;
    s_old = s;
    s = s_next;
    u_next = w;
  }
  int64_t p1 = private_hid_abs(s), q1 = private_hid_abs(u_next);
  return {h.num, int32_t(p1 > INT32_MAX ? INT32_MAX : p1), h.den, int32_t(q1 > INT32_MAX ? INT32_MAX : q1)};
}

// The child's path appended to the parent's: the product of the two matrices, first column.
inline hid hid_concat(hid parent, hid child) {
  if (hid_equals(child, NULL_HID)) return NULL_HID;
  hid_mobius m = hid_to_mobius(parent), c = hid_to_mobius(child);
  int64_t p = int64_t(m.p) * c.p + int64_t(m.p1) * c.q;
  int64_t q = int64_t(m.q) * c.p + int64_t(m.q1) * c.q;
  return private_hid_make64(p, q);
}

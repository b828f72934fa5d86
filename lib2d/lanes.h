// Pixel loops written once for several vector widths.
//
// A loop body is a template over W, the number of 32-bit lanes it handles
// at once (1 for plain scalars), built from the operations below on
// Lanes<T, W>. ORVANE_LANE_VARIANTS then compiles it for 4 lanes (the
// baseline instruction set), 8 (processors with 256-bit integer
// instructions) and 16 (512-bit ones), and defines name##Best, which runs
// the widest one the processor has. The bodies are inlined into each
// variant, so the vector operations are compiled for that variant's
// processor.
#pragma once

#include <cstring>
#include <type_traits>

// Values wider than the baseline are only passed between inlined
// functions, so the note about their calling convention does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

template <class T, int W>
struct Lanes {
  typedef T type __attribute__((vector_size(sizeof(T) * W)));
};
template <class T>
struct Lanes<T, 1> {
  typedef T type;
};

#define ORVANE_LANE_INLINE inline __attribute__((always_inline))

template <class V>
ORVANE_LANE_INLINE V LoadLanes(const void *p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class V>
ORVANE_LANE_INLINE void StoreLanes(void *p, V v) {
  std::memcpy(p, &v, sizeof v);
}
template <class V>
ORVANE_LANE_INLINE V MinLanes(V a, V b) {
  return a < b ? a : b;
}
template <class V>
ORVANE_LANE_INLINE V MaxLanes(V a, V b) {
  return a < b ? b : a;
}
// Each lane converted as by a cast (floats to integers truncate).
template <class To, class From>
ORVANE_LANE_INLINE To ConvertLanes(From v) {
  if constexpr (std::is_arithmetic_v<From>)
    return static_cast<To>(v);
  else
    return __builtin_convertvector(v, To);
}
// a, b = min(a, b), max(a, b).
template <class V>
ORVANE_LANE_INLINE void SortLanes(V &a, V &b) {
  const V lo = MinLanes(a, b);
  b = MaxLanes(a, b);
  a = lo;
}

#define ORVANE_LANE_VARIANTS(ret, name, params, args)                     \
  __attribute__((target("avx512f"))) ret name##16 params {                \
    return name<16> args;                                                 \
  }                                                                       \
  __attribute__((target("avx2"))) ret name##8 params { return name<8> args; } \
  ret name##4 params { return name<4> args; }                             \
  ret name##Best params {                                                 \
    if (__builtin_cpu_supports("avx512f")) return name##16 args;          \
    if (__builtin_cpu_supports("avx2")) return name##8 args;              \
    return name##4 args;                                                  \
  }

// Long loops of the core (a distance transform of a whole volume, normals
// of every shell voxel) call progress::Tick between pieces of work, so that
// the program around them can keep its windows drawn and let the user stop
// them. With no listener a tick is one load and one branch.
//
// The listener (the command layer) is called at most once per interval; when
// it answers that the user asked to stop, the tick throws Cancelled and the
// operation unwinds, freeing what it had made so far (the core's results
// are owned by unique_ptr and vectors until they are returned).
#pragma once

#include <algorithm>
#include <cstddef>
#include <stdexcept>

namespace progress {

// Thrown by Tick when the listener asked to stop.
struct Cancelled : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Returns true to stop the running operation.
using Listener = bool (*)(void *data);

// Installs the listener (null removes it); it is called at most every
// `intervalMs` milliseconds (0: at every tick), and never from within
// itself.
void Listen(Listener listener, void *data, int intervalMs);

namespace detail {
extern Listener gListener;
void Poll();
}  // namespace detail

inline void Tick() {
  if (detail::gListener != nullptr) detail::Poll();
}

// Makes `v` hold `n` copies of `value`, written a megabyte-sized chunk at a
// time between ticks: the first touch of a fresh array of a few hundred
// megabytes costs page faults that take a good part of a second.
template <class V, class T>
void Fill(V *v, size_t n, const T &value) {
  constexpr size_t kChunk = size_t{1} << 18;
  v->clear();
  v->reserve(n);
  for (size_t done = 0; done < n; done += kChunk) {
    Tick();
    v->insert(v->end(), std::min(kChunk, n - done), value);
  }
}

}  // namespace progress

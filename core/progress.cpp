#include "core/progress.h"

#include <chrono>

namespace progress {

namespace detail {
Listener gListener = nullptr;
}  // namespace detail

namespace {
void *gData = nullptr;
std::chrono::steady_clock::duration gInterval{};
std::chrono::steady_clock::time_point gLast{};
bool gInside = false;  // the listener is running: its own ticks are ignored
}  // namespace

void Listen(Listener listener, void *data, int intervalMs) {
  detail::gListener = listener;
  gData = data;
  gInterval = std::chrono::milliseconds(intervalMs < 0 ? 0 : intervalMs);
  gLast = std::chrono::steady_clock::now();
}

void detail::Poll() {
  if (gInside) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - gLast < gInterval) return;
  gInside = true;
  bool stop = false;
  try {
    stop = gListener(gData);
  } catch (...) {
    gInside = false;
    throw;
  }
  gInside = false;
  gLast = std::chrono::steady_clock::now();
  if (stop) throw Cancelled("cancelled");
}

}  // namespace progress

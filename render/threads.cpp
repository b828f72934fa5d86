#include "render/threads.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace {

constexpr int kMaxThreads = 64;
std::atomic<int> chosen{0};

int DefaultThreads() {
  static const int count = [] {
    if (const char *env = std::getenv("ORVANE_THREADS")) {
      const int n = std::atoi(env);
      if (n >= 1) return std::min(n, kMaxThreads);
    }
    const int hw = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(hw, 1, kMaxThreads);
  }();
  return count;
}

}  // namespace

int RenderThreads() {
  const int n = chosen.load(std::memory_order_relaxed);
  return n >= 1 ? n : DefaultThreads();
}

void SetRenderThreads(int n) {
  chosen.store(n >= 1 ? std::min(n, kMaxThreads) : 0, std::memory_order_relaxed);
}

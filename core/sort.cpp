#include "core/sort.h"

#include <climits>
#include <string>

#include "core/common.h"
#include "core/queue.h"

std::vector<int> BucketSort(const int *values, int n, int order) {
  std::vector<int> sorted;
  if (n < 0) Error("Invalid number of values " + std::to_string(n), "BucketSort");
  if (n == 0) return sorted;
  int m = INT_MIN;
  for (int i = 0; i < n; i++) {
    if (values[i] < 0) Error("Negative value " + std::to_string(values[i]), "BucketSort");
    if (values[i] > m) m = values[i];
  }
  if (m == INT_MAX) Error("Value " + std::to_string(m) + " is too large", "BucketSort");

  auto Q = CreateQueue(m + 1, n);
  for (int i = 0; i < n; i++) InsertQueue(Q.get(), values[i], i);
  sorted.resize(n);
  // The queue starts at bucket 0 and never wraps: all buckets lie ahead.
  int front = 0, back = n - 1;
  for (int e = RemoveQueue(Q.get()); e != -1; e = RemoveQueue(Q.get())) {
    if (order == 1)
      sorted[front++] = values[e];
    else
      sorted[back--] = values[e];
  }
  return sorted;
}

std::vector<int> BucketSort(const std::vector<int> &values, int order) {
  return BucketSort(values.data(), static_cast<int>(values.size()), order);
}

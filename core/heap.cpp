#include "core/heap.h"

#include <cstdio>
#include <new>
#include <string>
#include <utility>

#include "core/common.h"

std::unique_ptr<Heap> CreateHeap(int n, int *cost) {
  if (cost == nullptr) {
    std::fputs("Cannot create heap without cost map\n", stdout);
    std::fflush(stdout);
    return nullptr;
  }
  if (n < 0) Error("Invalid number of elements " + std::to_string(n), "CreateHeap");
  auto H = std::make_unique<Heap>();
  try {
    H->color.assign(n, WHITE);
    H->pixel.assign(n, -1);
    H->pos.assign(n, -1);
  } catch (const std::bad_alloc &) {
    Error("Insufficient Memory", "CreateHeap");
  }
  H->cost = cost;
  H->last = -1;
  H->n = n;
  return H;
}

std::unique_ptr<Heap> CreateHeap(int n, std::vector<int> *cost) {
  if (cost == nullptr) return CreateHeap(n, static_cast<int *>(nullptr));
  if (n < 0 || static_cast<size_t>(n) > cost->size())
    Error("The cost map holds " + std::to_string(cost->size()) + " entries, not " +
              std::to_string(n),
          "CreateHeap");
  return CreateHeap(n, cost->data());
}

void DestroyHeap(std::unique_ptr<Heap> *heap) {
  if (heap != nullptr) heap->reset();
}

static void SwapPositions(Heap *H, int i, int j) {
  std::swap(H->pixel[i], H->pixel[j]);
  H->pos[H->pixel[i]] = i;
  H->pos[H->pixel[j]] = j;
}

static void CheckPosition(const Heap *H, int i, const char *func) {
  if (i < 0 || i > H->last)
    Error("Heap position " + std::to_string(i) + " is not in use", func);
}

void GoUp(Heap *H, int i) {
  CheckPosition(H, i, "GoUp");
  const int *cost = H->cost;
  while (i > 0 && cost[H->pixel[dad(i)]] > cost[H->pixel[i]]) {
    SwapPositions(H, i, dad(i));
    i = dad(i);
  }
}

void GoDown(Heap *H, int i) {
  CheckPosition(H, i, "GoDown");
  const int *cost = H->cost;
  for (;;) {
    int j = i, left = leftson(i), right = rightson(i);
    if (left <= H->last && cost[H->pixel[left]] < cost[H->pixel[j]]) j = left;
    if (right <= H->last && cost[H->pixel[right]] < cost[H->pixel[j]]) j = right;
    if (j == i) return;
    SwapPositions(H, i, j);
    i = j;
  }
}

int InsertHeap(Heap *H, int p) {
  if (H->last == H->n - 1) return 0;
  if (p < 0 || p >= H->n)
    Error("Element " + std::to_string(p) + " out of range", "InsertHeap");
  if (H->color[p] == GRAY)
    Error("Element " + std::to_string(p) + " is already in the heap", "InsertHeap");
  H->last++;
  H->pixel[H->last] = p;
  H->pos[p] = H->last;
  H->color[p] = GRAY;
  GoUp(H, H->last);
  return 1;
}

int RemoveHeap(Heap *H, int *p) {
  if (H->last == -1) return 0;
  *p = H->pixel[0];
  H->pos[*p] = -1;
  H->color[*p] = BLACK;
  if (H->last > 0) {
    H->pixel[0] = H->pixel[H->last];
    H->pos[H->pixel[0]] = 0;
  }
  H->pixel[H->last] = -1;
  H->last--;
  if (H->last > 0) GoDown(H, 0);
  return 1;
}

int HeapIsEmpty(const Heap *H) { return H->last == -1 ? 1 : 0; }

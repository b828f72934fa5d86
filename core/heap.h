// Binary min-heap over element numbers (pixel or voxel addresses), ordered
// by an external cost map that the caller owns and may change while
// elements wait: after lowering cost[p] the caller calls
// GoUp(H, H->pos[p]); after raising it, GoDown(H, H->pos[p]).
//
// Ties: an element moves only past a strictly greater cost, so equal costs
// come out in whatever order the swaps left them; no other tie-break is made.
// Insert and remove are O(log n); states and positions live in arrays
// indexed by element, so membership is O(1) and nothing is allocated after
// CreateHeap.
#pragma once

#include <memory>
#include <vector>

#include "core/elemstate.h"

struct Heap {
  int *cost = nullptr;              // the caller's cost map, indexed by element; not owned
  std::vector<unsigned char> color;  // WHITE, GRAY or BLACK per element
  std::vector<int> pixel;            // element at each heap position, -1 past the end
  std::vector<int> pos;              // heap position of each element, -1 when not in the heap
  int last = -1;                     // last used heap position, -1 when empty
  int n = 0;                         // capacity: elements are 0 .. n - 1
};

inline int dad(int i) { return (i - 1) / 2; }
inline int leftson(int i) { return 2 * i + 1; }
inline int rightson(int i) { return 2 * i + 2; }

// An empty heap for elements 0 .. n - 1, all WHITE. Without a cost map it
// writes "Cannot create heap without cost map\n" on standard output and
// returns null; the map must hold at least n entries. Error for a negative
// n or when memory runs out.
std::unique_ptr<Heap> CreateHeap(int n, int *cost);
// The same over a vector, checked to hold at least n costs.
std::unique_ptr<Heap> CreateHeap(int n, std::vector<int> *cost);
void DestroyHeap(std::unique_ptr<Heap> *heap);

// Inserts p (GRAY) and moves it up past strictly greater costs: 1, or 0
// when the heap is full. Error for an element out of range or already in
// the heap (either would break the position table).
int InsertHeap(Heap *H, int p);

// Takes out the cheapest element (BLACK, position -1) into *p: 1, or 0 when
// the heap is empty.
int RemoveHeap(Heap *H, int *p);

// Restore the order at heap position i after its element's cost changed.
// Error for a position outside 0 .. last.
void GoUp(Heap *H, int i);
void GoDown(Heap *H, int i);

int HeapIsEmpty(const Heap *H);

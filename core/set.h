// Sets of element numbers: the linked set of seed lists, the bit map, and
// the border list.
#pragma once

#include <memory>
#include <vector>

// ---- Linked set ----
//
// A last-in, first-out list of integers without duplicate checking: the set
// is the pointer to its first node, null when empty. Walk it with
//   for (const Set *s = S.get(); s != nullptr; s = s->next.get()) ... s->elem ...
// Seed lists, not transform loops, use it: each insertion allocates a node.
struct Set {
  int elem = 0;
  std::unique_ptr<Set> next;
  ~Set();  // unlinks iteratively: a long list never recurses
};

// Pushes e at the front. Error with "Cannot allocate memory space" when
// memory runs out.
void InsertSet(std::unique_ptr<Set> *S, int e);
// Pops the front element, or returns -1 for an empty set.
int RemoveSet(std::unique_ptr<Set> *S);
// Frees every node and leaves *S null.
void DestroySet(std::unique_ptr<Set> *S);

// ---- Bit map ----
//
// Bit i is bit (i mod 8), counted from the least significant, of byte i div 8.
struct BMap {
  std::vector<unsigned char> data;
  int nbits = 0;
  int nbytes = 0;  // nbits div 8, plus 1 when nbits is not a multiple of 8
};

// A cleared map of n bits, or null when memory runs out. Error for n < 0.
std::unique_ptr<BMap> BMapNew(int n);
void BMapDestroy(std::unique_ptr<BMap> *b);
// Sets every byte to 255 (v non-zero) or 0.
void BMapFill(BMap *b, int v);

[[noreturn]] void BMapRangeError(const BMap *b, int n, const char *func);

// 1 when bit n is set, else 0. Error for n outside 0 .. nbits - 1.
inline int BMapGet(const BMap *b, int n) {
  if (static_cast<unsigned>(n) >= static_cast<unsigned>(b->nbits)) BMapRangeError(b, n, "BMapGet");
  return (b->data[n >> 3] >> (n & 7)) & 1;
}

// Sets bit n (v non-zero) or clears it. Error for n out of range.
inline void BMapSet(BMap *b, int n, int v) {
  if (static_cast<unsigned>(n) >= static_cast<unsigned>(b->nbits)) BMapRangeError(b, n, "BMapSet");
  unsigned char bit = static_cast<unsigned char>(1u << (n & 7));
  if (v)
    b->data[n >> 3] |= bit;
  else
    b->data[n >> 3] &= static_cast<unsigned char>(~bit);
}

// ---- Border list ----
//
// A doubly linked list of elements 0 .. n - 1 threaded through a table of
// links, in insertion order, with O(1) append and removal of any member.
struct BorderLink {
  int next = -1;  // -1 for none
  int prev = -1;
};

struct BorderList {
  std::vector<BorderLink> link;  // 8 bytes/element
  int n = 0;
  int count = 0;
  int first = -1;
  int last = -1;
};

// An empty list for elements 0 .. n - 1. Error with "Cannot allocate memory
// space" in "CreateBorder" when n is negative or memory runs out.
std::unique_ptr<BorderList> CreateBorder(int n);
void DestroyBorder(std::unique_ptr<BorderList> *B);

// Appends e. Error for an element out of range or already in the list
// (either would tie the list into a knot), and " Construction error" /
// " Construction error 2" when the list's end markers contradict its count.
void InsertBorder(BorderList *B, int e);

// Unlinks e. Error "Cannot remove element from an empty list" on an empty
// list, and for an element that is not in the list.
void RemoveBorder(BorderList *B, int e);

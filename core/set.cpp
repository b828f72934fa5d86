#include "core/set.h"

#include <new>
#include <string>
#include <utility>

#include "core/common.h"

Set::~Set() {
  std::unique_ptr<Set> rest = std::move(next);
  // Each assignment detaches the following node before freeing the current
  // one, so no destructor ever sees more than one node.
  while (rest) rest = std::move(rest->next);
}

void InsertSet(std::unique_ptr<Set> *S, int e) {
  std::unique_ptr<Set> node;
  try {
    node = std::make_unique<Set>();
  } catch (const std::bad_alloc &) {
    Error("Cannot allocate memory space", "InsertSet");
  }
  node->elem = e;
  node->next = std::move(*S);
  *S = std::move(node);
}

int RemoveSet(std::unique_ptr<Set> *S) {
  if (!*S) return -1;
  int e = (*S)->elem;
  *S = std::move((*S)->next);
  return e;
}

void DestroySet(std::unique_ptr<Set> *S) {
  if (S != nullptr) S->reset();
}

std::unique_ptr<BMap> BMapNew(int n) {
  if (n < 0) Error("Invalid number of bits " + std::to_string(n), "BMapNew");
  auto b = std::make_unique<BMap>();
  b->nbits = n;
  b->nbytes = n / 8 + (n % 8 != 0 ? 1 : 0);
  try {
    b->data.assign(b->nbytes, 0);
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
  return b;
}

void BMapDestroy(std::unique_ptr<BMap> *b) {
  if (b != nullptr) b->reset();
}

void BMapFill(BMap *b, int v) {
  for (unsigned char &byte : b->data) byte = v ? 255 : 0;
}

void BMapRangeError(const BMap *b, int n, const char *func) {
  Error("Bit " + std::to_string(n) + " out of range 0.." + std::to_string(b->nbits - 1), func);
}

std::unique_ptr<BorderList> CreateBorder(int n) {
  if (n < 0) Error("Invalid border list size " + std::to_string(n), "CreateBorder");
  CheckArrayBytes(n, sizeof(BorderList::link[0]), "A border list", "CreateBorder");
  auto B = std::make_unique<BorderList>();
  try {
    B->link.resize(n);
  } catch (const std::bad_alloc &) {
    Error("Cannot allocate memory space", "CreateBorder");
  }
  B->n = n;
  return B;
}

void DestroyBorder(std::unique_ptr<BorderList> *B) {
  if (B != nullptr) B->reset();
}

static bool InBorder(const BorderList *B, int e) {
  return e == B->first || B->link[e].prev != -1;
}

static void CheckBorderElement(const BorderList *B, int e, const char *func) {
  if (e < 0 || e >= B->n)
    Error("Element " + std::to_string(e) + " out of range 0.." + std::to_string(B->n - 1), func);
}

void InsertBorder(BorderList *B, int e) {
  CheckBorderElement(B, e, "InsertBorder");
  if (B->count == 0) {
    if (B->last != -1) Error(" Construction error", "InsertBorder");
    B->first = e;
    B->link[e] = BorderLink();
  } else {
    if (B->link[B->last].next != -1) Error(" Construction error 2", "InsertBorder");
    if (InBorder(B, e))
      Error("Element " + std::to_string(e) + " is already in the list", "InsertBorder");
    B->link[B->last].next = e;
    B->link[e].prev = B->last;
    B->link[e].next = -1;
  }
  B->last = e;
  B->count++;
}

void RemoveBorder(BorderList *B, int e) {
  if (B->count == 0) Error("Cannot remove element from an empty list", "RemoveBorder");
  CheckBorderElement(B, e, "RemoveBorder");
  if (!InBorder(B, e)) Error("Element " + std::to_string(e) + " is not in the list", "RemoveBorder");
  BorderLink &x = B->link[e];
  if (x.prev == -1)
    B->first = x.next;
  else
    B->link[x.prev].next = x.next;
  if (x.next == -1)
    B->last = x.prev;
  else
    B->link[x.next].prev = x.prev;
  x = BorderLink();
  B->count--;
}

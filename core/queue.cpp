#include "core/queue.h"

#include <new>
#include <string>

#include "core/common.h"

// 2^28 buckets take 2 GiB of list heads; more is a mistaken cost range.
static const int kMaxBuckets = 1 << 28;

static std::unique_ptr<Queue> NewQueue(int nbuckets, int nelems, bool lowering, const char *func) {
  if (nbuckets < 1 || nbuckets > kMaxBuckets || nelems < 0)
    Error("Cannot allocate memory space for " + std::to_string(nbuckets) + " buckets and " +
              std::to_string(nelems) + " elements",
          func);
  auto Q = std::make_unique<Queue>();
  try {
    Q->first.resize(nbuckets);
    Q->last.resize(nbuckets);
    Q->elem.resize(nelems);
  } catch (const std::bad_alloc &) {
    Error("Cannot allocate memory space", func);
  }
  Q->nbuckets = nbuckets;
  Q->nelems = nelems;
  Q->lowering = lowering;
  ResetQueue(Q.get());
  return Q;
}

std::unique_ptr<Queue> CreateQueue(int nbuckets, int nelems) {
  return NewQueue(nbuckets, nelems, false, "CreateQueue");
}

std::unique_ptr<Queue> CreateLoweringQueue(int nbuckets, int nelems) {
  return NewQueue(nbuckets, nelems, true, "CreateLoweringQueue");
}

void ResetQueue(Queue *Q) {
  Q->current = 0;
  Q->tiebreak = FIFO;
  Q->size = 0;
  for (int b = 0; b < Q->nbuckets; b++) Q->first[b] = Q->last[b] = -1;
  for (QueueElem &e : Q->elem) e = QueueElem();
}

void DestroyQueue(std::unique_ptr<Queue> *queue) {
  if (queue != nullptr) queue->reset();
}

static void CheckBucket(const Queue *Q, int b, const char *func) {
  if (b < 0 || b >= Q->nbuckets)
    Error("Bucket " + std::to_string(b) + " out of range 0.." + std::to_string(Q->nbuckets - 1),
          func);
}

static void CheckElement(const Queue *Q, int e, const char *func) {
  if (e < 0 || e >= Q->nelems)
    Error("Element " + std::to_string(e) + " out of range 0.." + std::to_string(Q->nelems - 1),
          func);
}

// Links e (not queued) at the tail of bucket b.
static void AppendToBucket(Queue *Q, int b, int e) {
  QueueElem &x = Q->elem[e];
  x.next = -1;
  x.prev = Q->last[b];
  if (Q->last[b] == -1)
    Q->first[b] = e;
  else
    Q->elem[Q->last[b]].next = e;
  Q->last[b] = e;
  x.color = GRAY;
  Q->size++;
  if (Q->lowering && b < Q->current) Q->current = b;
}

// Unlinks e from bucket b. Every check comes before the first write, so a
// refused call leaves the queue as it was. An element inside a list (with
// both neighbours) is unlinked correctly whatever bucket is named: only the
// head and tail pointers depend on b, and those are checked.
static void UnlinkFromBucket(Queue *Q, int e, int b, const char *func) {
  CheckElement(Q, e, func);
  CheckBucket(Q, b, func);
  QueueElem &x = Q->elem[e];
  if (x.color != GRAY) Error("Element " + std::to_string(e) + " is not queued", func);
  if ((x.prev == -1 && Q->first[b] != e) || (x.next == -1 && Q->last[b] != e))
    Error("Element " + std::to_string(e) + " is not in bucket " + std::to_string(b), func);
  if (x.prev == -1)
    Q->first[b] = x.next;
  else
    Q->elem[x.prev].next = x.next;
  if (x.next == -1)
    Q->last[b] = x.prev;
  else
    Q->elem[x.next].prev = x.prev;
  x.next = x.prev = -1;
  Q->size--;
}

void InsertQueue(Queue *Q, int b, int e) {
  CheckBucket(Q, b, "InsertQueue");
  CheckElement(Q, e, "InsertQueue");
  if (Q->elem[e].color == GRAY)
    Error("Element " + std::to_string(e) + " is already queued", "InsertQueue");
  AppendToBucket(Q, b, e);
}

// Leaves current on a non-empty bucket and returns true, or returns false
// for an empty queue, with current where it started (the full circle the
// scan would make ends there).
static bool FindNonEmptyBucket(Queue *Q, const char *func) {
  CheckBucket(Q, Q->current, func);  // callers may set current themselves
  if (Q->size == 0) return false;
  while (Q->first[Q->current] == -1) {
    Q->current++;
    if (Q->current == Q->nbuckets) Q->current = 0;
  }
  return true;
}

int RemoveQueue(Queue *Q) {
  if (!FindNonEmptyBucket(Q, "RemoveQueue")) return -1;
  int b = Q->current;
  int e = Q->tiebreak == LIFO ? Q->last[b] : Q->first[b];
  UnlinkFromBucket(Q, e, b, "RemoveQueue");
  Q->elem[e].color = BLACK;
  return e;
}

int EmptyQueue(Queue *Q) { return FindNonEmptyBucket(Q, "EmptyQueue") ? 0 : 1; }

void UpdateQueue(Queue *Q, int e, int from, int to) {
  CheckBucket(Q, to, "UpdateQueue");
  UnlinkFromBucket(Q, e, from, "UpdateQueue");
  AppendToBucket(Q, to, e);
}

void RemoveQueueElem(Queue *Q, int e, int b) {
  UnlinkFromBucket(Q, e, b, "RemoveQueueElem");
  Q->elem[e].color = BLACK;
}

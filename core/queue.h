// Bucket queue for small integer costs.
//
// Elements 0 .. nelems - 1 are filed in buckets 0 .. nbuckets - 1; each
// bucket is a doubly linked list threaded through the element table, so
// insert, update and removal of a known element are O(1) and nothing is
// allocated after CreateQueue. Removal serves the bucket `current` and,
// when it is empty, advances current by one modulo nbuckets. Within a
// bucket, FIFO (the default) serves the oldest element first, LIFO the
// newest.
//
// Current never moves backwards except by wrapping around: the queue is
// built for monotone path costs filed under cost mod nbuckets, with
// nbuckets larger than the largest cost step. An element filed in a bucket
// "below" current is therefore served only after the scan wraps, i.e. as if
// its cost were nbuckets higher. Algorithms that must move an element below
// the bucket being served (filling and reconstruction, where a cost can
// drop under the current level) use a lowering queue (CreateLoweringQueue):
// there the buckets are absolute costs and any insertion or move into a
// bucket below current lowers current to it, so removal always serves the
// lowest non-empty bucket.
//
// Misuse that would break the lists fails with Error instead: buckets or
// elements out of range, inserting an element that is already queued, and
// unlinking an element that is not queued or that heads or ends a list other
// than the bucket named.
#pragma once

#include <memory>
#include <vector>

#include "core/elemstate.h"

enum : unsigned char {
  FIFO = 0,
  LIFO = 1,
};

struct QueueElem {
  int next = -1;  // -1 ends a list
  int prev = -1;
  unsigned char color = WHITE;
};

struct Queue {
  std::vector<int> first;  // first element of each bucket, -1 when empty
  std::vector<int> last;   // last element of each bucket, -1 when empty
  int nbuckets = 0;
  int current = 0;                // the bucket where removal looks first; callers may set it
  unsigned char tiebreak = FIFO;  // FIFO or LIFO within a bucket
  std::vector<QueueElem> elem;    // 9 bytes/element (padded to 12)
  int nelems = 0;
  int size = 0;           // elements now queued: an empty queue is known without a scan
  bool lowering = false;  // see CreateLoweringQueue
};

// A reset queue (FIFO, current 0, every element WHITE). Error with "Cannot
// allocate memory space" for sizes that do not fit (nbuckets must be at
// least 1; at most 2^28 buckets).
std::unique_ptr<Queue> CreateQueue(int nbuckets, int nelems);
// The same with lowering on: inserting or moving an element into a bucket
// below current sets current to that bucket, so buckets hold absolute costs
// and removal always returns an element of the lowest non-empty bucket.
std::unique_ptr<Queue> CreateLoweringQueue(int nbuckets, int nelems);

// Current 0, tiebreak FIFO, all buckets empty, every element unlinked and
// WHITE. Lowering is a property of the queue and stays.
void ResetQueue(Queue *Q);
void DestroyQueue(std::unique_ptr<Queue> *queue);

// Appends e at the tail of bucket b; e becomes GRAY.
void InsertQueue(Queue *Q, int b, int e);

// The next element (BLACK), or -1 when the queue is empty; current is left
// on the bucket served.
int RemoveQueue(Queue *Q);

// 1 when the queue is empty, else 0; like RemoveQueue it moves current to
// the next non-empty bucket.
int EmptyQueue(Queue *Q);

// Moves e from bucket `from` to the tail of bucket `to` (still GRAY).
void UpdateQueue(Queue *Q, int e, int from, int to);

// Takes e out of bucket b; e becomes BLACK.
void RemoveQueueElem(Queue *Q, int e, int b);

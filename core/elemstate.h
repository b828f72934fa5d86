// The state an element of a priority structure is in, shared by the heap
// and the bucket queue: the region-growing loops test it to know whether a
// neighbour is new, waiting or finished.
#pragma once

enum : unsigned char {
  WHITE = 0,  // never inserted
  GRAY = 1,   // in the queue
  BLACK = 2,  // removed
};

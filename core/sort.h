// Sorting of small non-negative integers through a bucket queue.
#pragma once

#include <vector>

// The n values sorted increasingly for order 1, decreasingly for any other
// order, in O(n + largest value) time and memory. The values are filed by
// index into one FIFO bucket per value, so equal values keep the order of
// their indices. An empty input gives an empty result. Error for a negative
// value, or a largest value beyond what a bucket queue can hold.
std::vector<int> BucketSort(const int *values, int n, int order);
std::vector<int> BucketSort(const std::vector<int> &values, int order);

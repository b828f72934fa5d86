#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/set.h"
#include "support/fatal.h"

// ---- linked set ----

TEST(Set, LastInFirstOut) {
  std::unique_ptr<Set> S;
  EXPECT_EQ(RemoveSet(&S), -1);
  for (int e : {7, 3, 9, 3}) InsertSet(&S, e);  // no duplicate check
  std::vector<int> walked;
  for (const Set *s = S.get(); s != nullptr; s = s->next.get()) walked.push_back(s->elem);
  EXPECT_EQ(walked, (std::vector<int>{3, 9, 3, 7}));
  EXPECT_EQ(RemoveSet(&S), 3);
  EXPECT_EQ(RemoveSet(&S), 9);
  EXPECT_EQ(RemoveSet(&S), 3);
  EXPECT_EQ(RemoveSet(&S), 7);
  EXPECT_EQ(S, nullptr);
  EXPECT_EQ(RemoveSet(&S), -1);
}

TEST(Set, DestroyLeavesNullEvenForALongList) {
  std::unique_ptr<Set> S;
  DestroySet(&S);  // empty: nothing to do
  for (int e = 0; e < 1000000; e++) InsertSet(&S, e);  // deep enough to overflow a recursive free
  EXPECT_EQ(S->elem, 999999);
  DestroySet(&S);
  EXPECT_EQ(S, nullptr);
}

// ---- bit map ----

TEST(BMap, SizesAndBitLayout) {
  EXPECT_EQ(BMapNew(0)->nbytes, 0);
  EXPECT_EQ(BMapNew(8)->nbytes, 1);
  EXPECT_EQ(BMapNew(9)->nbytes, 2);
  auto b = BMapNew(20);
  EXPECT_EQ(b->nbits, 20);
  EXPECT_EQ(b->data, (std::vector<unsigned char>{0, 0, 0}));
  BMapSet(b.get(), 9, 1);
  BMapSet(b.get(), 0, 7);  // any non-zero value sets
  BMapSet(b.get(), 19, 1);
  EXPECT_EQ(b->data, (std::vector<unsigned char>{0x01, 0x02, 0x08}));
  EXPECT_EQ(BMapGet(b.get(), 9), 1);
  EXPECT_EQ(BMapGet(b.get(), 8), 0);
  BMapSet(b.get(), 9, 0);
  EXPECT_EQ(b->data[1], 0);
  BMapFill(b.get(), 1);
  EXPECT_EQ(b->data, (std::vector<unsigned char>{255, 255, 255}));
  EXPECT_EQ(BMapGet(b.get(), 13), 1);
  BMapFill(b.get(), 0);
  EXPECT_EQ(b->data, (std::vector<unsigned char>{0, 0, 0}));
  BMapDestroy(&b);
  EXPECT_EQ(b, nullptr);
}

TEST(BMap, OutOfRangeBitsFail) {
  auto b = BMapNew(10);
  EXPECT_EQ(FatalText([&] { BMapGet(b.get(), 10); }), "Error:Bit 10 out of range 0..9 in BMapGet");
  EXPECT_EQ(FatalText([&] { BMapSet(b.get(), -1, 1); }), "Error:Bit -1 out of range 0..9 in BMapSet");
  EXPECT_EQ(FatalText([] { BMapNew(-3); }), "Error:Invalid number of bits -3 in BMapNew");
}

TEST(BMap, RandomAgainstBoolVector) {
  std::mt19937 rng(5);
  const int n = 1003;
  auto b = BMapNew(n);
  std::vector<bool> ref(n, false);
  for (int step = 0; step < 20000; step++) {
    int i = static_cast<int>(rng() % n), v = static_cast<int>(rng() % 2);
    BMapSet(b.get(), i, v);
    ref[i] = v != 0;
  }
  for (int i = 0; i < n; i++) ASSERT_EQ(BMapGet(b.get(), i), ref[i] ? 1 : 0) << i;
}

// ---- border list ----

static std::vector<int> Walk(const BorderList &B) {
  std::vector<int> out;
  int prev = -1;
  for (int e = B.first; e != -1 && out.size() <= static_cast<size_t>(B.n); e = B.link[e].next) {
    EXPECT_EQ(B.link[e].prev, prev);
    out.push_back(e);
    prev = e;
  }
  EXPECT_EQ(B.last, prev);
  EXPECT_EQ(static_cast<int>(out.size()), B.count);
  return out;
}

TEST(BorderList, AppendAndUnlinkAnywhere) {
  auto B = CreateBorder(8);
  for (int e : {5, 2, 7, 0, 3}) InsertBorder(B.get(), e);
  EXPECT_EQ(Walk(*B), (std::vector<int>{5, 2, 7, 0, 3}));
  RemoveBorder(B.get(), 7);  // middle
  RemoveBorder(B.get(), 5);  // first
  RemoveBorder(B.get(), 3);  // last
  EXPECT_EQ(Walk(*B), (std::vector<int>{2, 0}));
  InsertBorder(B.get(), 5);  // a removed element may come back
  EXPECT_EQ(Walk(*B), (std::vector<int>{2, 0, 5}));
  RemoveBorder(B.get(), 2);
  RemoveBorder(B.get(), 0);
  RemoveBorder(B.get(), 5);
  EXPECT_EQ(B->first, -1);
  EXPECT_EQ(B->last, -1);
  EXPECT_EQ(B->count, 0);
  InsertBorder(B.get(), 1);
  EXPECT_EQ(Walk(*B), (std::vector<int>{1}));
  DestroyBorder(&B);
  EXPECT_EQ(B, nullptr);
}

TEST(BorderList, MisuseFails) {
  auto B = CreateBorder(4);
  EXPECT_EQ(FatalText([&] { RemoveBorder(B.get(), 1); }),
            "Error:Cannot remove element from an empty list in RemoveBorder");
  InsertBorder(B.get(), 1);
  InsertBorder(B.get(), 2);
  EXPECT_EQ(FatalText([&] { InsertBorder(B.get(), 1); }),
            "Error:Element 1 is already in the list in InsertBorder");
  EXPECT_EQ(FatalText([&] { InsertBorder(B.get(), 2); }),
            "Error:Element 2 is already in the list in InsertBorder");
  EXPECT_EQ(FatalText([&] { InsertBorder(B.get(), 4); }),
            "Error:Element 4 out of range 0..3 in InsertBorder");
  EXPECT_EQ(FatalText([&] { RemoveBorder(B.get(), 3); }),
            "Error:Element 3 is not in the list in RemoveBorder");
  EXPECT_EQ(Walk(*B), (std::vector<int>{1, 2}));

  // End markers that contradict the count.
  B->link[2].next = 3;
  EXPECT_EQ(FatalText([&] { InsertBorder(B.get(), 0); }),
            "Error: Construction error 2 in InsertBorder");
  auto C = CreateBorder(2);
  C->last = 1;
  EXPECT_EQ(FatalText([&] { InsertBorder(C.get(), 0); }), "Error: Construction error in InsertBorder");
  EXPECT_EQ(FatalText([] { CreateBorder(-1); }),
            "Error:Invalid border list size -1 in CreateBorder");
}

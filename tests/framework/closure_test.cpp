#include "framework/closure.h"

#include <gtest/gtest.h>

namespace {

struct Receiver {
  int calls = 0;
  int last = 0;
  void Take(int v) {
    ++calls;
    last = v;
  }
  void Other(int v) { last = -v; }
};

using IntHandler = fw::Closure<void(int)>;

TEST(Closure, unassigned_until_code_is_set) {
  IntHandler h;
  EXPECT_FALSE(h);
  Receiver r;
  h = fw::Method<&Receiver::Take>(&r);
  EXPECT_TRUE(h);
  h(7);
  EXPECT_EQ(r.calls, 1);
  EXPECT_EQ(r.last, 7);
  h = nullptr;
  EXPECT_FALSE(h);
}

TEST(Closure, two_equalities) {
  Receiver a;
  Receiver b;
  const IntHandler takeA = fw::Method<&Receiver::Take>(&a);
  const IntHandler takeB = fw::Method<&Receiver::Take>(&b);
  const IntHandler otherA = fw::Method<&Receiver::Other>(&a);
  struct Case {
    IntHandler x, y;
    bool sameCode, equal;
  };
  const Case cases[] = {
      {takeA, takeA, true, true},     // same method, same object
      {takeA, takeB, true, false},    // same method on another object: equal by code only
      {takeA, otherA, false, false},  // another method on the same object
      {IntHandler(), IntHandler(), true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.x.SameCode(c.y), c.sameCode);
    EXPECT_EQ(c.x == c.y, c.equal);
  }
}

}  // namespace

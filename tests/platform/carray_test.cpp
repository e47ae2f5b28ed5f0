// CArray, the keyword array's container.
#include "platform/carray.h"

#include <gtest/gtest.h>

namespace {

struct Rec {
    char text[16];
    int n;
};

TEST(CArray, GrowsKeepsOrderCopiesDeeplyAndChecksItsBounds)
{
    CArray<Rec, Rec> a;
    for (int i = 0; i < 300; ++i) EXPECT_EQ(a.Add(Rec{{}, i}), i);
    for (int i = 0; i < 100; ++i) a.Add(a[0]);  // adding an own element while growing
    ASSERT_EQ(a.GetSize(), 400);
    for (int i = 0; i < 400; ++i) ASSERT_EQ(a[i].n, i < 300 ? i : 0);
    CArray<Rec, Rec> b = a;
    b[0].n = 99;
    EXPECT_EQ(a[0].n, 0);
    a = b;
    EXPECT_EQ(a[0].n, 99);
    a.RemoveAll();
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(b.GetSize(), 400);
    // Out-of-range access throws instead of reading memory.
    EXPECT_THROW(a.GetAt(0), std::out_of_range);
    a.SetSize(2);
    EXPECT_EQ(a[1].n, 0);
    EXPECT_THROW(a.GetAt(-1), std::out_of_range);
    EXPECT_THROW(a.GetAt(2), std::out_of_range);
}

}  // namespace

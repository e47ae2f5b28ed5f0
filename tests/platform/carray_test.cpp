// CArray, the keyword array's container.
#include "platform/carray.h"

#include <gtest/gtest.h>

namespace {
struct Rec {
    char text[16];
    int n;
};
}  // namespace

TEST(CArray, GrowsKeepsOrderAndCopiesDeeply)
{
    CArray<Rec, Rec> a;
    for (int i = 0; i < 300; ++i) {
        Rec r{};
        r.n = i;
        EXPECT_EQ(a.Add(r), i);
    }
    ASSERT_EQ(a.GetSize(), 300);
    for (int i = 0; i < 300; ++i) EXPECT_EQ(a[i].n, i);

    CArray<Rec, Rec> b = a;
    b[0].n = 99;
    EXPECT_EQ(a[0].n, 0);
    a = b;
    EXPECT_EQ(a[0].n, 99);
    a.RemoveAll();
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(b.GetSize(), 300);
}

TEST(CArray, AddingAnOwnElementWhileGrowingIsSafe)
{
    CArray<Rec, Rec> a;
    Rec r{};
    r.n = 7;
    a.Add(r);
    for (int i = 0; i < 100; ++i) a.Add(a[0]);
    EXPECT_EQ(a[100].n, 7);
}

TEST(CArray, OutOfRangeAccessThrowsInsteadOfReadingMemory)
{
    CArray<Rec, Rec> a;
    EXPECT_THROW(a.GetAt(0), std::out_of_range);
    a.SetSize(2);
    EXPECT_EQ(a[1].n, 0);
    EXPECT_THROW(a.GetAt(-1), std::out_of_range);
    EXPECT_THROW(a.GetAt(2), std::out_of_range);
}

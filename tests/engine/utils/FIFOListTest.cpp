#include "engine/utils/FIFOList.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

int a, b, c, d;
void* const A = &a;
void* const B = &b;
void* const C = &c;
void* const D = &d;

// Walks the list through its cursor.
std::vector<void*> Walk(CFIFOList& list) {
    std::vector<void*> out;
    for (void* p = list.GetFirst(); p; p = list.GetNext()) out.push_back(p);
    return out;
}

// Follows the links directly and checks that the tail is the last node.
std::vector<void*> Links(const CFIFOList& list) {
    std::vector<void*> out;
    const FIFO_NODE* last = nullptr;
    for (const FIFO_NODE* n = list.m_pHead; n; n = n->m_pNext) {
        out.push_back(n->m_pData);
        last = n;
    }
    EXPECT_EQ(list.m_pTail, last);
    return out;
}

TEST(FIFOListTest, EmptyListHasNothingUnderTheCursor) {
    CFIFOList list;
    EXPECT_EQ(list.GetFirst(), nullptr);
    // Without a node under the cursor these return null instead of crashing.
    EXPECT_EQ(list.GetNext(), nullptr);
    EXPECT_EQ(list.DeleteAndGetNext(), nullptr);
    EXPECT_FALSE(list.Delete(A));
    EXPECT_EQ(list.m_pHead, nullptr);
    EXPECT_EQ(list.m_pTail, nullptr);
}

TEST(FIFOListTest, AddsKeepOrderAndLeaveTheCursorOnTheNewNode) {
    CFIFOList list;
    ASSERT_TRUE(list.AddLast(A));
    ASSERT_TRUE(list.AddLast(B));
    ASSERT_TRUE(list.AddLast(C));
    EXPECT_EQ(list.m_pCurrent, list.m_pTail);
    EXPECT_EQ(Walk(list), (std::vector<void*>{A, B, C}));

    ASSERT_TRUE(list.AddFirst(D));
    EXPECT_EQ(list.m_pCurrent, list.m_pHead);
    EXPECT_EQ(list.m_pPrevious, nullptr);
    EXPECT_EQ(list.GetFirst(), D);
    EXPECT_EQ(Links(list), (std::vector<void*>{D, A, B, C}));

    CFIFOList single;
    ASSERT_TRUE(single.AddFirst(A));
    EXPECT_EQ(single.m_pHead, single.m_pTail);
    EXPECT_EQ(single.GetFirst(), A);
}

TEST(FIFOListTest, DeletingTheOnlyEntryEmptiesTheList) {
    CFIFOList list;
    list.AddLast(A);
    EXPECT_TRUE(list.Delete(A));
    EXPECT_EQ(list.m_pHead, nullptr);
    EXPECT_EQ(list.m_pTail, nullptr);
    EXPECT_EQ(list.m_pCurrent, nullptr);
    // The walk fell off the end: a further step stays null.
    EXPECT_EQ(list.GetNext(), nullptr);
    EXPECT_EQ(list.DeleteAndGetNext(), nullptr);
}

TEST(FIFOListTest, DeletingTheTailDuringAWalkMovesTheTailBack) {
    CFIFOList list;
    list.AddLast(A);
    list.AddLast(B);
    list.AddLast(C);
    EXPECT_EQ(list.GetFirst(), A);
    EXPECT_EQ(list.GetNext(), B);
    EXPECT_EQ(list.GetNext(), C);
    EXPECT_EQ(list.DeleteAndGetNext(), nullptr);
    EXPECT_EQ(list.m_pTail->m_pData, B);
    ASSERT_TRUE(list.AddLast(D));
    EXPECT_EQ(Links(list), (std::vector<void*>{A, B, D}));
}

TEST(FIFOListTest, DeleteFindsEachPosition) {
    struct Case {
        void* victim;
        std::vector<void*> left;
        void* cursorAfter;  // pointer under the cursor after the delete
    };
    const Case cases[] = {
        {A, {B, C}, B},
        {B, {A, C}, C},
        {C, {A, B}, nullptr},
    };
    for (const Case& k : cases) {
        CFIFOList list;
        list.AddLast(A);
        list.AddLast(B);
        list.AddLast(C);
        EXPECT_TRUE(list.Delete(k.victim));
        EXPECT_EQ(Links(list), k.left);
        EXPECT_EQ(list.m_pCurrent ? list.m_pCurrent->m_pData : nullptr, k.cursorAfter);
        EXPECT_FALSE(list.Delete(k.victim));
        EXPECT_EQ(Links(list), k.left);
    }
}

TEST(FIFOListTest, DeleteRightAfterAddLastKeepsTheRestOfTheList) {
    // The add leaves the cursor on the new tail; removing it must relink
    // the old tail, not cut the list.
    CFIFOList list;
    list.AddLast(A);
    list.AddLast(B);
    EXPECT_EQ(list.DeleteAndGetNext(), nullptr);
    EXPECT_EQ(Links(list), (std::vector<void*>{A}));
    list.AddLast(C);
    EXPECT_EQ(Links(list), (std::vector<void*>{A, C}));
}

TEST(FIFOListTest, DeleteAndGetNextEmptiesTheListInOneWalk) {
    CFIFOList list;
    list.AddLast(A);
    list.AddLast(B);
    list.AddLast(C);
    std::vector<void*> seen;
    for (void* p = list.GetFirst(); p; p = list.DeleteAndGetNext()) seen.push_back(p);
    EXPECT_EQ(seen, (std::vector<void*>{A, B, C}));
    EXPECT_EQ(list.m_pHead, nullptr);
    EXPECT_EQ(list.m_pTail, nullptr);
}

TEST(FIFOListTest, NodesAreSizedByTheVirtualGetSize) {
    CFIFOList plain;
    CFIFOListRecycle recycle;
    EXPECT_EQ(plain.GetSize(), sizeof(FIFO_NODE));
    EXPECT_EQ(recycle.GetSize(), sizeof(FIFO_NODE_RECYCLE));
    CFIFOList& base = recycle;
    EXPECT_EQ(base.GetSize(), sizeof(FIFO_NODE_RECYCLE));
}

TEST(FIFOListRecycleTest, SharedEntryNeedsOneReleasePerUser) {
    CFIFOListRecycle list;
    list.AddLast(A, false);
    list.AddLast(B, true);
    list.AddLast(C, false);

    // Two more users found by lookup.
    ASSERT_EQ(list.GetFirst(), A);
    ASSERT_EQ(list.GetNext(), B);
    EXPECT_TRUE(list.IsRecycled());
    list.IncRecycleCount();
    list.IncRecycleCount();
    EXPECT_EQ(list.GetRecycleCount(), 3u);

    EXPECT_FALSE(list.Delete(B, false));
    EXPECT_FALSE(list.Delete(B, false));
    EXPECT_EQ(Links(list), (std::vector<void*>{A, B, C}));
    EXPECT_TRUE(list.Delete(B, false));
    EXPECT_EQ(Links(list), (std::vector<void*>{A, C}));
    EXPECT_FALSE(list.Delete(B, false));
}

TEST(FIFOListRecycleTest, ForcedDeleteRemovesWhateverTheCount) {
    CFIFOListRecycle list;
    list.AddFirst(A, true);
    list.IncRecycleCount();
    list.IncRecycleCount();
    EXPECT_TRUE(list.Delete(A, true));
    EXPECT_EQ(list.m_pHead, nullptr);
    EXPECT_EQ(list.m_pTail, nullptr);
    EXPECT_FALSE(list.Delete(A, true));
}

TEST(FIFOListRecycleTest, DeleteAndGetNextReleasesOrSteps) {
    CFIFOListRecycle list;
    list.AddLast(A, true);
    list.IncRecycleCount();  // A has two users
    list.AddLast(B, true);
    list.AddLast(C, true);

    // Unforced: A only loses a user, B and C go.
    EXPECT_EQ(list.GetFirst(), A);
    EXPECT_EQ(list.DeleteAndGetNext(false), B);
    EXPECT_EQ(list.DeleteAndGetNext(false), C);
    EXPECT_EQ(list.DeleteAndGetNext(false), nullptr);
    EXPECT_EQ(Links(list), (std::vector<void*>{A}));
    EXPECT_EQ(list.GetFirst(), A);
    EXPECT_EQ(list.GetRecycleCount(), 1u);

    // Shutdown: forced removal of everything.
    list.IncRecycleCount();
    list.AddLast(B, false);
    for (void* p = list.GetFirst(); p; p = list.DeleteAndGetNext(true)) {
    }
    EXPECT_EQ(list.m_pHead, nullptr);
    EXPECT_EQ(list.m_pTail, nullptr);
}

TEST(FIFOListRecycleTest, PlainAddsMakeUnsharedEntries) {
    CFIFOListRecycle list;
    ASSERT_TRUE(list.AddLast(A));
    EXPECT_FALSE(list.IsRecycled());
    EXPECT_EQ(list.GetRecycleCount(), 0u);
    // No other user: the first release removes it.
    EXPECT_TRUE(list.Delete(A, false));
    EXPECT_EQ(list.m_pHead, nullptr);
}

TEST(FIFOListRecycleTest, CursorOperationsWithoutACursorNodeAreHarmless) {
    CFIFOListRecycle list;
    list.IncRecycleCount();
    EXPECT_FALSE(list.IsRecycled());
    EXPECT_EQ(list.GetRecycleCount(), 0u);
    EXPECT_EQ(list.DeleteAndGetNext(true), nullptr);
    EXPECT_EQ(list.DeleteAndGetNext(false), nullptr);
    EXPECT_EQ(list.GetNext(), nullptr);

    // Same once a walk has run off the end of a non-empty list.
    list.AddLast(A, true);
    EXPECT_EQ(list.GetFirst(), A);
    EXPECT_EQ(list.GetNext(), nullptr);
    list.IncRecycleCount();
    EXPECT_FALSE(list.IsRecycled());
    EXPECT_EQ(list.GetRecycleCount(), 0u);
    EXPECT_EQ(list.DeleteAndGetNext(true), nullptr);
    EXPECT_EQ(list.GetFirst(), A);
    EXPECT_EQ(list.GetRecycleCount(), 1u);
}

}  // namespace

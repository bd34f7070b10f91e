// Singly linked lists of untyped pointers with a built-in cursor. The lists
// never own what the pointers point to; the render device keeps its
// registries in them.
#pragma once

#include <cstdint>

// Node of a CFIFOList.
struct FIFO_NODE {
    void* m_pData;
    FIFO_NODE* m_pNext;
};

// Node of a CFIFOListRecycle: a shareable entry and its number of users.
struct FIFO_NODE_RECYCLE : FIFO_NODE {
    bool m_bRecycle;
    uint32_t m_dwRecycleCount;
};

// The cursor is shared by every walk of one list: do not interleave a walk
// with another walk or with an add on the same list.
class CFIFOList {
public:
    CFIFOList();
    virtual ~CFIFOList();

    CFIFOList(const CFIFOList&) = delete;
    CFIFOList& operator=(const CFIFOList&) = delete;

    // Both leave the cursor on the new node; false only when out of memory.
    virtual bool AddFirst(void* p);
    virtual bool AddLast(void* p);
    // Cursor walk; null at the end (or on an empty list, or without cursor).
    virtual void* GetFirst();
    virtual void* GetNext();
    // Removes the node under the cursor and returns the following pointer.
    virtual void* DeleteAndGetNext();
    // Removes the first entry holding p; a walk stops at an entry holding null.
    virtual bool Delete(void* p);
    // Size of one node; nodes are allocated at this size.
    virtual uint32_t GetSize() const;

    // Read-only for callers; the operations above keep them consistent.
    FIFO_NODE* m_pHead;
    FIFO_NODE* m_pTail;
    FIFO_NODE* m_pCurrent;   // the cursor, or null
    FIFO_NODE* m_pPrevious;  // node before the cursor, null on the head

protected:
    // Unlinks and frees the cursor node, moving the cursor to the next one.
    void* RemoveCurrent();
};

// Entries carry a share flag and a reference count. An entry goes away when
// its last user releases it, or when the release is forced.
class CFIFOListRecycle : public CFIFOList {
public:
    CFIFOListRecycle() = default;
    ~CFIFOListRecycle() override = default;

    using CFIFOList::AddFirst;
    using CFIFOList::AddLast;
    using CFIFOList::Delete;
    using CFIFOList::DeleteAndGetNext;

    uint32_t GetSize() const override;

    // As the plain adds, with the given flag and a count of 1.
    virtual bool AddFirst(void* p, bool recyclable);
    virtual bool AddLast(void* p, bool recyclable);
    // These act on the node under the cursor; without one they do nothing,
    // return 0 and return false.
    virtual void IncRecycleCount();
    virtual uint32_t GetRecycleCount() const;
    // Releases one use of the cursor node (every use when forced) and
    // returns the next pointer.
    virtual void* DeleteAndGetNext(bool force);
    virtual bool IsRecycled() const;
    // Releases one use of the first entry holding p (every use when forced);
    // true when the entry was removed.
    virtual bool Delete(void* p, bool force);

private:
    FIFO_NODE_RECYCLE* CurrentNode() const;
};

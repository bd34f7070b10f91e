#include "engine/utils/FIFOList.h"

#include <cstdlib>
#include <cstring>

CFIFOList::CFIFOList() : m_pHead(nullptr), m_pTail(nullptr), m_pCurrent(nullptr), m_pPrevious(nullptr) {}

// The pointed-to objects are not ours, but the nodes are: free what is left.
CFIFOList::~CFIFOList() {
    FIFO_NODE* node = m_pHead;
    while (node) {
        FIFO_NODE* next = node->m_pNext;
        std::free(node);
        node = next;
    }
}

bool CFIFOList::AddFirst(void* p) {
    // Zero-filled so that the extra fields of a larger node start defined.
    const uint32_t size = GetSize();
    FIFO_NODE* node = static_cast<FIFO_NODE*>(std::malloc(size));
    if (!node) return false;
    std::memset(node, 0, size);
    node->m_pData = p;
    node->m_pNext = m_pHead;
    m_pHead = node;
    if (!m_pTail) m_pTail = node;
    m_pCurrent = node;
    m_pPrevious = nullptr;
    return true;
}

bool CFIFOList::AddLast(void* p) {
    const uint32_t size = GetSize();
    FIFO_NODE* node = static_cast<FIFO_NODE*>(std::malloc(size));
    if (!node) return false;
    std::memset(node, 0, size);
    node->m_pData = p;
    node->m_pNext = nullptr;
    // Keep the real predecessor so that deleting right after the add
    // relinks the old tail instead of cutting the list at the head.
    m_pPrevious = m_pTail;
    if (m_pTail)
        m_pTail->m_pNext = node;
    else
        m_pHead = node;
    m_pTail = node;
    m_pCurrent = node;
    return true;
}

void* CFIFOList::GetFirst() {
    m_pCurrent = m_pHead;
    m_pPrevious = nullptr;
    return m_pCurrent ? m_pCurrent->m_pData : nullptr;
}

void* CFIFOList::GetNext() {
    if (!m_pCurrent) return nullptr;
    m_pPrevious = m_pCurrent;
    m_pCurrent = m_pCurrent->m_pNext;
    return m_pCurrent ? m_pCurrent->m_pData : nullptr;
}

void* CFIFOList::RemoveCurrent() {
    FIFO_NODE* node = m_pCurrent;
    if (!node) return nullptr;
    FIFO_NODE* next = node->m_pNext;
    if (m_pPrevious)
        m_pPrevious->m_pNext = next;
    else
        m_pHead = next;
    if (m_pTail == node) m_pTail = m_pPrevious;
    std::free(node);
    m_pCurrent = next;
    return next ? next->m_pData : nullptr;
}

void* CFIFOList::DeleteAndGetNext() { return RemoveCurrent(); }

bool CFIFOList::Delete(void* p) {
    for (void* q = GetFirst(); q; q = GetNext()) {
        if (q == p) {
            DeleteAndGetNext();
            return true;
        }
    }
    return false;
}

uint32_t CFIFOList::GetSize() const { return sizeof(FIFO_NODE); }

uint32_t CFIFOListRecycle::GetSize() const { return sizeof(FIFO_NODE_RECYCLE); }

FIFO_NODE_RECYCLE* CFIFOListRecycle::CurrentNode() const {
    // Every node of this list was allocated at the size of the larger node.
    return static_cast<FIFO_NODE_RECYCLE*>(m_pCurrent);
}

bool CFIFOListRecycle::AddFirst(void* p, bool recyclable) {
    if (!CFIFOList::AddFirst(p)) return false;
    CurrentNode()->m_bRecycle = recyclable;
    CurrentNode()->m_dwRecycleCount = 1;
    return true;
}

bool CFIFOListRecycle::AddLast(void* p, bool recyclable) {
    if (!CFIFOList::AddLast(p)) return false;
    CurrentNode()->m_bRecycle = recyclable;
    CurrentNode()->m_dwRecycleCount = 1;
    return true;
}

void CFIFOListRecycle::IncRecycleCount() {
    if (FIFO_NODE_RECYCLE* node = CurrentNode()) ++node->m_dwRecycleCount;
}

uint32_t CFIFOListRecycle::GetRecycleCount() const {
    const FIFO_NODE_RECYCLE* node = CurrentNode();
    return node ? node->m_dwRecycleCount : 0;
}

bool CFIFOListRecycle::IsRecycled() const {
    const FIFO_NODE_RECYCLE* node = CurrentNode();
    return node ? node->m_bRecycle : false;
}

// An entry added through the plain adds has a count of 0; it has no other
// user, so its first release removes it (and the count never wraps).
void* CFIFOListRecycle::DeleteAndGetNext(bool force) {
    FIFO_NODE_RECYCLE* node = CurrentNode();
    if (!node) return nullptr;
    const uint32_t count = node->m_dwRecycleCount;
    if (count > 0) node->m_dwRecycleCount = count - 1;
    if (force || count <= 1) return RemoveCurrent();
    return CFIFOList::GetNext();
}

bool CFIFOListRecycle::Delete(void* p, bool force) {
    // A direct walk of the nodes: unlike the plain Delete, an entry holding
    // null does not hide the entries after it.
    FIFO_NODE* previous = nullptr;
    FIFO_NODE* node = m_pHead;
    while (node && node->m_pData != p) {
        previous = node;
        node = node->m_pNext;
    }
    if (!node) return false;
    m_pPrevious = previous;
    m_pCurrent = node;
    FIFO_NODE_RECYCLE* entry = CurrentNode();
    const uint32_t count = entry->m_dwRecycleCount;
    if (count > 0) entry->m_dwRecycleCount = count - 1;
    if (!force && count > 1) return false;
    RemoveCurrent();
    return true;
}

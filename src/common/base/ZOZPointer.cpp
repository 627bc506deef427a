#include "base/ZOZPointer.h"

namespace ZOZ {

Pointer::~Pointer() = default;

void Pointer::setMarked()
{
    m_marked = 1;
}

void Pointer::clearMarked()
{
    m_marked = 0;
}

void Pointer::retain()
{
    QMutexLocker locker(&m_countMutex);
    ++m_count;
}

bool Pointer::release(int n)
{
    if (n <= 0)
        return false;
    bool reachedZero = false;
    {
        QMutexLocker locker(&m_countMutex);
        for (int i = 0; i < n; ++i) {
            --m_count;
            if (m_count == 0)
                reachedZero = true;
        }
    }
    if (reachedZero)
        delete this;
    return reachedZero;
}

int Pointer::referenceCount() const
{
    QMutexLocker locker(&m_countMutex);
    return m_count;
}

PointerLocker::PointerLocker(Pointer *p)
    : m_pointer(p)
{
    if (m_pointer)
        m_pointer->retain();
}

PointerLocker::~PointerLocker()
{
    if (m_pointer)
        m_pointer->release();
}

ModalPointerLocker::ModalPointerLocker(Pointer *p)
    : m_pointer(p)
{
    if (m_pointer) {
        m_pointer->objectLock().lock();
        m_pointer->retain();
    }
}

ModalPointerLocker::~ModalPointerLocker()
{
    if (m_pointer) {
        // Unlock before the release: the release may delete the object.
        m_pointer->objectLock().unlock();
        m_pointer->release();
    }
}

} // namespace ZOZ

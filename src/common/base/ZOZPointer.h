#pragma once

#include <QMutex>
#include <QRecursiveMutex>

namespace ZOZ {

// Intrusive reference-counted base for objects that several threads hold at
// once. The count has its own small lock; the object lock is recursive so a
// holder can call code that takes it again.
class Pointer
{
public:
    Pointer() = default;
    virtual ~Pointer();

    Pointer(const Pointer &) = delete;
    Pointer &operator=(const Pointer &) = delete;

    virtual void setMarked();
    virtual void clearMarked();
    bool isMarked() const { return m_marked != 0; }

    void retain();
    // Drops n references; deletes the object (after the count lock is
    // released) when the count reaches 0 on one of the steps. Returns true
    // exactly when the object was deleted.
    bool release(int n = 1);
    int referenceCount() const;

    QRecursiveMutex &objectLock() { return m_objectLock; }

protected:
    int m_marked = 0;

private:
    int m_count = 0;
    mutable QMutex m_countMutex;
    QRecursiveMutex m_objectLock;
};

// Holds one reference for the length of a block.
class PointerLocker
{
public:
    explicit PointerLocker(Pointer *p);
    virtual ~PointerLocker();

    PointerLocker(const PointerLocker &) = delete;
    PointerLocker &operator=(const PointerLocker &) = delete;

    Pointer *get() const { return m_pointer; }

private:
    Pointer *m_pointer;
};

// Holds one reference and the object lock for the length of a block.
class ModalPointerLocker
{
public:
    explicit ModalPointerLocker(Pointer *p);
    virtual ~ModalPointerLocker();

    ModalPointerLocker(const ModalPointerLocker &) = delete;
    ModalPointerLocker &operator=(const ModalPointerLocker &) = delete;

    Pointer *get() const { return m_pointer; }

private:
    Pointer *m_pointer;
};

} // namespace ZOZ

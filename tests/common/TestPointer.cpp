#include "TestObjects.h"
#include "base/ZOZPointer.h"

#include <gtest/gtest.h>

TEST(Pointer, ReleaseDeletesExactlyWhenCountReachesZero)
{
    const struct
    {
        int count;
        int n;
        bool deleted;
    } rows[] = {{2, 2, true}, {2, 1, false}, {1, 1, true}, {1, 0, false}, {1, -3, false}, {1, 5, true}};
    for (const auto &row : rows) {
        bool deleted = false;
        auto *object = new TrackedObject(&deleted);
        for (int i = 0; i < row.count; ++i)
            object->retain();
        EXPECT_EQ(object->release(row.n), row.deleted) << row.count << " release " << row.n;
        EXPECT_EQ(deleted, row.deleted) << row.count << " release " << row.n;
        if (!deleted) {
            EXPECT_EQ(object->referenceCount(), row.count - std::max(row.n, 0));
            delete object;
        }
    }
}

TEST(Pointer, LockersOnNullDoNothing)
{
    ZOZ::PointerLocker plain(nullptr);
    ZOZ::ModalPointerLocker modal(nullptr);
    EXPECT_EQ(plain.get(), nullptr);
    EXPECT_EQ(modal.get(), nullptr);
}

TEST(Pointer, LockersHoldAReference)
{
    bool deleted = false;
    auto *object = new TrackedObject(&deleted);
    object->retain();
    {
        ZOZ::PointerLocker locker(object);
        EXPECT_EQ(object->referenceCount(), 2);
    }
    EXPECT_EQ(object->referenceCount(), 1);
    EXPECT_FALSE(deleted);
    {
        ZOZ::ModalPointerLocker locker(object);
        EXPECT_EQ(object->referenceCount(), 2);
        // Recursive: the holder may take the lock again.
        EXPECT_TRUE(object->objectLock().try_lock());
        object->objectLock().unlock();
    }
    EXPECT_TRUE(object->objectLock().try_lock());
    object->objectLock().unlock();
    object->release();
    EXPECT_TRUE(deleted);
}

TEST(Pointer, ModalLockerWithLastReferenceUnlocksThenDeletes)
{
    bool deleted = false;
    auto *object = new TrackedObject(&deleted);
    object->retain();
    {
        ZOZ::ModalPointerLocker locker(object);
        object->release(); // the locker now holds the last reference
        EXPECT_FALSE(deleted);
    }
    EXPECT_TRUE(deleted);
}

TEST(Pointer, MarkedFlag)
{
    bool deleted = false;
    TrackedObject object(&deleted);
    EXPECT_FALSE(object.isMarked());
    object.setMarked();
    EXPECT_TRUE(object.isMarked());
    object.clearMarked();
    EXPECT_FALSE(object.isMarked());
}

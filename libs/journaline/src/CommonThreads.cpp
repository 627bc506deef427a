#include "CommonThreads.h"

#include <pthread.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace Common::Threads {

struct Mutex::Handle {
    pthread_mutex_t mutex;
};

namespace {

[[noreturn]] void fail(const char *message, const void *handle = nullptr, unsigned long error = 0)
{
    std::fprintf(stderr, message, handle, error);
    std::fflush(stderr);
    std::exit(1);
}

} // namespace

Mutex::Mutex(Recursion recursion)
    : m_handle(new (std::nothrow) Handle)
    , m_recursive(recursion == Recursion::Recursive)
    , m_count(0)
{
    // The system mutex may always be taken again by its owner; the owner
    // check below decides whether that counts as recursion.
    pthread_mutexattr_t attributes;
    if (!m_handle || pthread_mutexattr_init(&attributes) != 0)
        fail("Common::Threads::Mutex -> unable to create mutex\n");
    const bool created = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) == 0
        && pthread_mutex_init(&m_handle->mutex, &attributes) == 0;
    pthread_mutexattr_destroy(&attributes);
    if (!created)
        fail("Common::Threads::Mutex -> unable to create mutex\n");
}

Mutex::~Mutex()
{
    if (pthread_mutex_destroy(&m_handle->mutex) != 0)
        fail("Common::Threads::Mutex -> unable to destroy mutex %p\n", m_handle);
    delete m_handle;
}

void Mutex::lock()
{
    if (m_recursive && m_owner.load() == std::this_thread::get_id()) {
        ++m_count;
        return;
    }
    if (const int error = pthread_mutex_lock(&m_handle->mutex))
        fail("Common::Threads::Mutex -> unable to lock mutex %p\n", m_handle, static_cast<unsigned long>(error));
    if (m_recursive) {
        m_owner.store(std::this_thread::get_id());
        ++m_count;
    }
}

bool Mutex::tryLock(Wait wait)
{
    if (wait == Wait::Block) {
        lock();
        return true;
    }
    if (m_recursive && m_owner.load() == std::this_thread::get_id()) {
        ++m_count;
        return true;
    }
    const int error = pthread_mutex_trylock(&m_handle->mutex);
    if (error == EBUSY)
        return false;
    if (error != 0)
        fail("Common::Threads::Mutex -> unable to lock mutex %p\n", m_handle);
    if (m_recursive) {
        m_owner.store(std::this_thread::get_id());
        ++m_count;
    }
    return true;
}

void Mutex::unlock()
{
    if (m_recursive) {
        if (m_owner.load() != std::this_thread::get_id())
            fail("Common::Threads::Mutex -> trying to unlock a mutex which is locked in another thread!\n");
        if (m_count > 0)
            --m_count;
        if (m_count > 0)
            return;
        m_owner.store(std::thread::id());
    }
    if (const int error = pthread_mutex_unlock(&m_handle->mutex))
        fail("Common::Threads::Mutex -> unable to unlock mutex %p, %lu\n", m_handle, static_cast<unsigned long>(error));
}

MutexLocker::MutexLocker(Mutex *mutex) : m_mutex(mutex), m_held(false)
{
    if (m_mutex) {
        m_mutex->lock();
        m_held = true;
    }
}

MutexLocker::~MutexLocker()
{
    if (m_held)
        m_mutex->unlock();
}

} // namespace Common::Threads

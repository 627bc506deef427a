// The lock of the Journaline provider and renderer: a mutex that may be
// taken again by the thread holding it (when made recursive), and a scoped
// locker. A broken lock is a broken program, so failures of the system
// mutex end the process with a message on the standard error stream.
#ifndef ZOZ_COMMON_THREADS_H
#define ZOZ_COMMON_THREADS_H

#include <atomic>
#include <thread>

namespace Common::Threads {

enum class Recursion { Recursive, NonRecursive };
enum class Wait { Block, DontBlock };

class Mutex {
public:
    explicit Mutex(Recursion recursion = Recursion::Recursive);
    ~Mutex();
    Mutex(const Mutex &) = delete;
    Mutex &operator=(const Mutex &) = delete;

    void lock();
    // Waits forever (Wait::Block) or not at all; true when the lock is held.
    bool tryLock(Wait wait);
    // A recursive mutex unlocked by a thread that does not own it ends the process.
    void unlock();

private:
    struct Handle;
    Handle *m_handle;                    // the system mutex
    std::atomic<std::thread::id> m_owner; // default id when free
    bool m_recursive;
    int m_count;                          // recursion depth of the owner
};

// Holds the mutex for its lifetime; a null mutex is allowed and does nothing.
class MutexLocker {
public:
    explicit MutexLocker(Mutex *mutex);
    ~MutexLocker();
    MutexLocker(const MutexLocker &) = delete;
    MutexLocker &operator=(const MutexLocker &) = delete;

private:
    Mutex *m_mutex;
    bool m_held;
};

} // namespace Common::Threads

#endif

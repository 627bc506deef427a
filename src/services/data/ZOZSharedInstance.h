#pragma once

#include <QMutex>

#include <memory>

namespace ZOZ {

// One object shared by all its users: made by the first `get`, gone with the
// last reference, made again by the next `get`.
template <typename T>
class SharedInstance
{
public:
    template <typename Make>
    std::shared_ptr<T> get(Make make)
    {
        QMutexLocker locker(&m_mutex);
        std::shared_ptr<T> instance = m_instance.lock();
        if (!instance) {
            instance = make();
            m_instance = instance;
        }
        return instance;
    }

private:
    QMutex m_mutex;
    std::weak_ptr<T> m_instance;
};

} // namespace ZOZ

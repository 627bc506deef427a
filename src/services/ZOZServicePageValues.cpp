#include "ZOZServicePageValues.h"

#include <atomic>

namespace ZOZ {

namespace {

std::atomic<const ServicePageValues *> s_values {nullptr};

} // namespace

void ServicePageValues::install(const ServicePageValues *values)
{
    s_values.store(values, std::memory_order_release);
}

const ServicePageValues *ServicePageValues::installed()
{
    return s_values.load(std::memory_order_acquire);
}

} // namespace ZOZ

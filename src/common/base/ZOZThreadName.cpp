#include "base/ZOZThreadName.h"

#include <pthread.h>

#include <cstring>

namespace ZOZ {

void setThreadName(const char *name)
{
    if (!name)
        return;
    // The kernel refuses names of 16 bytes or more instead of cutting them.
    char shortName[16] = {};
    std::strncpy(shortName, name, sizeof(shortName) - 1);
    pthread_setname_np(pthread_self(), shortName);
}

} // namespace ZOZ

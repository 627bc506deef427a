#pragma once

namespace ZOZ {

// Names the calling thread for debuggers and tools such as top and gdb. The
// system keeps 15 characters; longer names are cut.
void setThreadName(const char *name);

} // namespace ZOZ

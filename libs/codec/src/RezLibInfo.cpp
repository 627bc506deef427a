// The library-information registry rule shared by every library of the family.
#include "RezTools.h"

extern "C" {

LIB_INFO *RezTools_LibInfoFreeRow(LIB_INFO *table, uint32_t duplicateId, int *isDuplicate)
{
    if (isDuplicate)
        *isDuplicate = 0;
    if (!table)
        return nullptr;
    for (int i = 0; i < REZ_LIB_INFO_ROWS; ++i) {
        if (table[i].moduleId == REZ_MODULE_NONE)
            return &table[i];
        if (duplicateId != REZ_MODULE_NONE && table[i].moduleId == duplicateId) {
            if (isDuplicate)
                *isDuplicate = 1;
            return nullptr;
        }
    }
    return nullptr;
}

void RezTools_LibInfoFill(LIB_INFO *row, const char *title, const char *buildTime, uint32_t moduleId,
                          int major, int minor, uint32_t flags)
{
    if (!row)
        return;
    row->title = title;
    row->buildDate = REZ_LIB_BUILD_DATE;
    row->buildTime = buildTime;
    row->moduleId = moduleId;
    row->version = (static_cast<uint32_t>(major) & 0xFF) << 24 | (static_cast<uint32_t>(minor) & 0xFF) << 16;
    row->flags = flags;
    RezSys_Sprintf(row->versionText, sizeof row->versionText, "%d.%d.%d", major, minor, 0);
}

int RezTools_GetLibInfo(LIB_INFO *table)
{
    LIB_INFO *row = RezTools_LibInfoFreeRow(table, REZ_MODULE_TOOLS, nullptr);
    if (!row)
        return -1;
    RezTools_LibInfoFill(row, "REZ Tools", "16:54:12", REZ_MODULE_TOOLS, 2, 6, 0x1);
    return 0;
}

} // extern "C"

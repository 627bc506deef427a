// The version record every DAB data library hands out through its nine
// optional out-pointers.
#ifndef ZOZ_DAB_LIBRARY_VERSION_H
#define ZOZ_DAB_LIBRARY_VERSION_H

#include <cstdint>

struct DabLibraryVersion {
    const char *tag;
    const char *date;
    const char *buildDate;
    const char *revisionText;
    uint32_t revision;
    const char *version;
    uint32_t major;
    uint32_t minor;
    uint32_t patch;
};

// Writes the given fields. Returns 1 when all nine pointers are null, else 0.
inline int copyDabLibraryVersion(const DabLibraryVersion &v, const char **tag, const char **date,
                                 const char **buildDate, const char **revisionText, uint32_t *revision,
                                 const char **version, uint32_t *major, uint32_t *minor, uint32_t *patch)
{
    if (!tag && !date && !buildDate && !revisionText && !revision && !version && !major && !minor && !patch)
        return 1;
    if (tag)
        *tag = v.tag;
    if (date)
        *date = v.date;
    if (buildDate)
        *buildDate = v.buildDate;
    if (revisionText)
        *revisionText = v.revisionText;
    if (revision)
        *revision = v.revision;
    if (version)
        *version = v.version;
    if (major)
        *major = v.major;
    if (minor)
        *minor = v.minor;
    if (patch)
        *patch = v.patch;
    return 0;
}

#endif

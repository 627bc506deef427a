// Checks the version operation every DAB data library has: nine optional
// out-pointers, 1 when all are null.
#ifndef ZOZ_TESTS_LIBRARY_VERSION_TEST_SUPPORT_H
#define ZOZ_TESTS_LIBRARY_VERSION_TEST_SUPPORT_H

#include "DabLibraryVersion.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace ZOZ::Test {

using GetVersionFunction = int (*)(const char **, const char **, const char **, const char **, uint32_t *,
                                   const char **, uint32_t *, uint32_t *, uint32_t *);

// The fields a library hands out, in the order of its out-pointers.
using ExpectedVersion = DabLibraryVersion;

inline void expectVersion(GetVersionFunction getVersion, const ExpectedVersion &expected)
{
    EXPECT_EQ(1, getVersion(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    const char *tag = nullptr, *date = nullptr, *build = nullptr, *revisionText = nullptr, *version = nullptr;
    uint32_t revision = 0, major = 0, minor = 0, patch = 0;
    EXPECT_EQ(0, getVersion(&tag, &date, &build, &revisionText, &revision, &version, &major, &minor, &patch));
    EXPECT_STREQ(expected.tag, tag);
    EXPECT_STREQ(expected.date, date);
    EXPECT_STREQ(expected.buildDate, build);
    EXPECT_STREQ(expected.revisionText, revisionText);
    EXPECT_EQ(expected.revision, revision);
    EXPECT_STREQ(expected.version, version);
    EXPECT_EQ(expected.major, major);
    EXPECT_EQ(expected.minor, minor);
    EXPECT_EQ(expected.patch, patch);
    // Any one pointer alone is enough.
    uint32_t onlyPatch = 0;
    EXPECT_EQ(0, getVersion(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &onlyPatch));
    EXPECT_EQ(expected.patch, onlyPatch);
}

} // namespace ZOZ::Test

#endif

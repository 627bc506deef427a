// Sizes that callers of the FIC decoder rely on.
#include "DabFicDecoder.h"

#include <gtest/gtest.h>

TEST(DabHeaders, RecordAndConfigSizes)
{
    EXPECT_EQ(45u * 4u, sizeof(FicFigRecord));
    EXPECT_EQ(10u * 4u, sizeof(FicDecoderConfig));
}

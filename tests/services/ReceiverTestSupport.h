#pragma once

#include "SettingsFixture.h"
#include "ZOZDab.h"
#include "ZOZServiceManager.h"

#include <QByteArray>

namespace ZOZTest {

// The index of the band channel called `label`; -1 when there is none.
inline int channelIndex(const char *label)
{
    for (int index = 0; ZOZ::channelAtIndex(index); ++index) {
        if (qstrcmp(ZOZ::channelAtIndex(index)->label, label) == 0)
            return index;
    }
    return -1;
}

// Settings for a test that runs the real receiver on a recording: the manager
// and the recording source it was pointed at are gone after each test.
class ReceiverManagerFixture : public SettingsFixture
{
protected:
    void TearDown() override
    {
        if (ZOZ::ServiceManager::existingInstance())
            ZOZ::ServiceManager::destroyInstance();
        qunsetenv("RTKDAB_SOURCE");
        SettingsFixture::TearDown();
    }
};

} // namespace ZOZTest

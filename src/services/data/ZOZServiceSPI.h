#pragma once

#include "ZOZServiceMOT.h"

#include <memory>

namespace ZOZ {

class SLDecoder;
class SpiManager;

// The programme guide data service (Service and Programme Information): a
// MOT carousel with a directory whose objects are sorted three ways. Guide
// documents go to the SPI manager's decoder, spoken labels (".m4a" clips
// named after a service) to the spoken-label decoder, and everything else
// is offered to the manager as a service logo. Its page is the programme
// guide; "?getServices" answers the guide as JSON; the objects themselves are
// served by name below its path.
class ServiceSPI : public ServiceMOT
{
    Q_OBJECT

public:
    static constexpr uint32_t EntityBufferSize = 204800;
    static const QString PageTemplate;

    // What an object of the carousel is for.
    enum class ObjectKind { Document, SpokenLabel, LogoCandidate };
    static ObjectKind kindOf(int contentType, int contentSubType, const QString &name);

    explicit ServiceSPI(ServiceDescriptor &descriptor);
    ~ServiceSPI() override;

    bool answerPage(const PageRequest &request, PageAnswer &answer) override;

protected:
    void onObjectChanged(MotFile *file) override;
    void onObjectUnchanged(MotFile *file) override;

private:
    void dispatch(MotFile *file);
    bool answerObject(const QString &name, PageAnswer &answer);
    void answerGuide(PageAnswer &answer);

    std::shared_ptr<SpiManager> m_manager;
    // Made when the first spoken label arrives; used on the data thread only.
    std::unique_ptr<SLDecoder> m_spokenLabels;
};

} // namespace ZOZ

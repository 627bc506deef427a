// Generates ETI-NI frames of a described ensemble: the FIC from FIGs packed
// into FIBs on a repetition schedule, the sub-channels from their content
// sources, and the faults the description asks for.
#pragma once

#include "EnsembleDescription.h"
#include "Figs.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ZOZ::EnsembleGen {

// What is wrong with a description, or an empty text when it can be generated.
// Fills in start addresses left at -1.
std::string prepare(EnsembleDescription &description);

class EnsembleGenerator {
public:
    // `description` must have passed prepare().
    explicit EnsembleGenerator(EnsembleDescription description);

    // Makes the next frame into `out` (6144 bytes). False when the frame is
    // lost by a fault: nothing is written, but time moves on.
    bool nextFrame(uint8_t *out);

    // Number of the next frame, from 0.
    int frameNumber() const { return m_frame; }
    // FIC bytes of the last frame made (also of a lost one).
    const std::vector<uint8_t> &lastFic() const { return m_fic; }
    // The configuration on air.
    const EnsembleDescription &current() const { return m_current; }

private:
    struct Slot {
        int figType = 0;
        int extension = 0;
        int period = 1;  // frames between rounds
        int nextDue = 0;
        std::vector<Fig> pending;
    };

    void buildSlots();
    std::vector<Fig> figsOf(const Slot &slot) const;
    void buildFic();
    bool faultAt(Fault::Kind kind) const;
    int reconfigurationFrame() const;

    EnsembleDescription m_current;
    std::shared_ptr<EnsembleDescription> m_next;
    uint16_t m_eid;
    int m_frame = 0;
    std::vector<Slot> m_slots;
    std::vector<uint8_t> m_fic;
    std::vector<std::vector<uint8_t>> m_streamBytes;
};

// Writes `frames` frames (lost ones left out) to `path`. Returns an empty
// text, or what went wrong.
std::string writeEnsemble(EnsembleDescription description, int frames, const std::string &path);

} // namespace ZOZ::EnsembleGen

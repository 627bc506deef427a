// Where the receiver library's frames come from: RTKDAB_SOURCE parsed into a
// source description, and frame sources over files and commands.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace ZOZ::Rtkdab {

struct SourceConfig {
    enum class Kind { None, Folder, File, Command };
    Kind kind = Kind::None;
    std::string path;          // folder or file
    uint32_t fileFrequency = 0; // kHz the file is served on
    std::string command;       // without the leading '|'
    std::string problem;       // why the kind is None, naming the path
};

// Label of the European Band III or L-band channel at `kHz`, empty when none.
std::string channelLabel(uint32_t kHz);
// kHz of a channel label (any case) or of a decimal kHz text; 0 when neither.
uint32_t channelFrequency(const std::string &text);

// Parses RTKDAB_SOURCE's value. Kind::None, with the problem said, when empty,
// or when the folder or file it names does not exist or the channel is unknown.
SourceConfig parseSource(const char *value);

// The command line for one tune: %c the channel label (the kHz when the
// frequency has no label), %f the kHz, %% a percent sign.
std::string expandCommand(const std::string &command, uint32_t kHz);

// Path of the recording served at `kHz`, empty when there is none.
std::string recordingFor(const SourceConfig &config, uint32_t kHz);

class FrameSource {
public:
    enum Result { Frame = 1, End = 0, Cancelled = -1 };
    virtual ~FrameSource() = default;
    // Reads the next 6144-byte frame; gives up soon after `cancel` is set.
    virtual Result read(uint8_t *frame, const std::atomic<bool> &cancel) = 0;
    // After End: why the source gave no frame at all, naming the file or
    // command; empty when it did give frames or simply ended.
    virtual std::string problem() { return {}; }
};

// Opens what `config` serves at `kHz`: null when nothing is, with *problem
// set when something should have been served but could not be opened.
std::unique_ptr<FrameSource> openSource(const SourceConfig &config, uint32_t kHz, std::string *problem = nullptr);

} // namespace ZOZ::Rtkdab

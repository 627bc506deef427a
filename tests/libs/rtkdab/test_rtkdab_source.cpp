#include "rtkdab_source.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

using namespace ZOZ::Rtkdab;

TEST(RtkdabSource, ChannelLabelsAndFrequencies)
{
    const struct {
        const char *text;
        uint32_t kHz;
        const char *label;
    } rows[] = {
        {"5A", 174928, "5A"}, {"5c", 178352, "5C"}, {"13F", 239200, "13F"}, {"LA", 1452960, "LA"},
        {"lw", 1490624, "LW"}, {"178352", 178352, "5C"}, {"12345", 12345, ""}, {"5Z", 0, ""},
        {"LX", 0, ""}, {"", 0, ""}, {"12a3", 0, ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(channelFrequency(row.text), row.kHz);
        if (row.kHz) {
            EXPECT_EQ(channelLabel(row.kHz), row.label);
        }
    }
}

TEST(RtkdabSource, CommandPlaceholders)
{
    EXPECT_EQ(expandCommand("producer -C %c -f %f", 178352), "producer -C 5C -f 178352");
    EXPECT_EQ(expandCommand("x %c 100%% %q %", 1234), "x 1234 100% %q %");
}

TEST(RtkdabSource, FolderFindsRecordingsByLabelOrFrequency)
{
    const auto folder = std::filesystem::temp_directory_path() / ("rtkdab-source-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    for (const char *name : {"5C.eti", "11d.eti", "1452960.eti"})
        std::ofstream(folder / name) << "x";
    const SourceConfig config = parseSource(folder.c_str());
    ASSERT_EQ(config.kind, SourceConfig::Kind::Folder);
    EXPECT_EQ(recordingFor(config, 178352), (folder / "5C.eti").string());
    EXPECT_EQ(recordingFor(config, 222064), (folder / "11d.eti").string());
    EXPECT_EQ(recordingFor(config, 1452960), (folder / "1452960.eti").string());
    EXPECT_EQ(recordingFor(config, 180064), "");
    EXPECT_EQ(recordingFor(config, 0), "");

    const SourceConfig file = parseSource((folder / "5C.eti").string().append("@11D").c_str());
    ASSERT_EQ(file.kind, SourceConfig::Kind::File);
    EXPECT_EQ(recordingFor(file, 222064), (folder / "5C.eti").string());
    EXPECT_EQ(recordingFor(file, 178352), "");
    std::filesystem::remove_all(folder);
}

} // namespace

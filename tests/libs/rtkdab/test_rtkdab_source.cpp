#include "rtkdab_source.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

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

// A source that cannot serve says why, naming the path or command.
TEST(RtkdabSource, ProblemsNameThePathOrCommand)
{
    const auto folder = std::filesystem::temp_directory_path() / ("rtkdab-problem-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string text = (folder / "text.eti").string();
    {
        std::ofstream out(text);
        for (int i = 0; i < 2000; ++i)
            out << "not an ETI-NI recording\n";
    }
    const std::string missing = (folder / "missing.eti").string();
    const struct {
        const char *name;
        std::string value;
        const char *expected;  // the problem contains this, after "RTKDAB_SOURCE: "
    } parseRows[] = {
        {"unset", "", "not set"},
        {"bare bar", "|", "no command after '|'"},
        {"missing file", missing + "@5C", "no such file: '"},
        {"missing folder", missing, "no such file or folder: '"},
        {"file without channel", text, "needs the channel"},
        {"unknown channel", text + "@5Z", "unknown channel '5Z'"},
    };
    for (const auto &row : parseRows) {
        SCOPED_TRACE(row.name);
        const SourceConfig config = parseSource(row.value.c_str());
        EXPECT_EQ(config.kind, SourceConfig::Kind::None);
        EXPECT_EQ(config.problem.rfind("RTKDAB_SOURCE: ", 0), 0u) << config.problem;
        EXPECT_NE(config.problem.find(row.expected), std::string::npos) << config.problem;
    }
    EXPECT_NE(parseSource((missing + "@5C").c_str()).problem.find(missing), std::string::npos);

    // Problems found once reading: each source reads to its end without a
    // frame and then names itself.
    const struct {
        const char *name;
        std::string value;
        const char *expected;
    } readRows[] = {
        {"not ETI", text + "@5C", "is not an ETI-NI recording"},
        {"failing command", "|exit 3", "the command 'exit 3' ended (exit status 3) without giving ETI-NI"},
        {"missing command", "|zoz-no-such-command %c", "command not found: 'zoz-no-such-command %c'"},
        {"text on output", "|echo %c", "the command 'echo %c' ended (exit status 0) without giving ETI-NI"},
    };
    std::atomic<bool> cancel{false};
    std::vector<uint8_t> frame(6144);
    for (const auto &row : readRows) {
        SCOPED_TRACE(row.name);
        const SourceConfig config = parseSource(row.value.c_str());
        ASSERT_NE(config.kind, SourceConfig::Kind::None) << config.problem;
        std::string problem;
        auto source = openSource(config, 178352, &problem);
        ASSERT_TRUE(source);
        EXPECT_EQ(problem, "");
        EXPECT_EQ(source->read(frame.data(), cancel), FrameSource::End);
        EXPECT_NE(source->problem().find(row.expected), std::string::npos) << source->problem();
    }
    std::filesystem::remove_all(folder);
}

} // namespace

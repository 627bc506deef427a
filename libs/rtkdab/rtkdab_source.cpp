#include "rtkdab_source.h"

#include "DabChannelGrids.h"
#include "zoz_eti.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace ZOZ::Rtkdab {

namespace {

// How long one poll of a command's output waits before looking at the cancel flag.
constexpr int CommandPollMs = 100;
// How long a command may take to end after it was asked to.
constexpr int CommandExitWaitMs = 1000;

bool isDirectory(const std::string &path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isFile(const std::string &path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Every problem text starts with the variable's name, so that a user knows
// what to change.
std::string sourceProblem(const std::string &text)
{
    return "RTKDAB_SOURCE: " + text;
}

// The shell's exit status for a command it could not find or not run.
constexpr int ShellCommandNotFound = 127;
constexpr int ShellCannotExecute = 126;

class FileSource : public FrameSource {
public:
    FileSource(int fd, std::string path) : m_fd(fd), m_path(std::move(path)), m_reader(ZozEtiReader_Create()) {}
    ~FileSource() override
    {
        ZozEtiReader_Destroy(m_reader);
        ::close(m_fd);
    }

    Result read(uint8_t *frame, const std::atomic<bool> &cancel) override
    {
        if (!m_reader)
            return End;
        bool rewound = false;
        while (!cancel.load()) {
            const int result = ZozEtiReader_ReadFd(m_reader, m_fd, frame);
            if (result == 1) {
                m_framesThisPass = true;
                m_framesEver = true;
                return Frame;
            }
            m_readFailed = result < 0;
            // A recording loops; one without a single frame ends instead of spinning.
            if (result < 0 || rewound || (!m_framesThisPass && m_passes > 0))
                return End;
            if (::lseek(m_fd, 0, SEEK_SET) != 0)
                return End;
            ZozEtiReader_Reset(m_reader);
            rewound = true;
            ++m_passes;
            m_framesThisPass = false;
        }
        return Cancelled;
    }

    std::string problem() override
    {
        if (m_readFailed)
            return sourceProblem("could not read '" + m_path + "'");
        if (!m_framesEver)
            return sourceProblem("'" + m_path + "' is not an ETI-NI recording (no ETI-NI frame found in it)");
        return {};
    }

private:
    int m_fd;
    std::string m_path;
    ZozEtiReader *m_reader;
    int m_passes = 0;
    bool m_framesThisPass = false;
    bool m_framesEver = false;
    bool m_readFailed = false;
};

class CommandSource : public FrameSource {
public:
    CommandSource(pid_t pid, int fd, std::string command)
        : m_pid(pid), m_fd(fd), m_command(std::move(command)), m_reader(ZozEtiReader_Create())
    {
    }
    ~CommandSource() override
    {
        ZozEtiReader_Destroy(m_reader);
        ::close(m_fd);
        if (m_reaped)
            return;
        // The command runs in its own process group: end it and its children,
        // forcibly when it does not go within a second.
        ::kill(-m_pid, SIGTERM);
        int status = 0;
        for (int waited = 0; waited < CommandExitWaitMs; waited += CommandPollMs) {
            if (::waitpid(m_pid, &status, WNOHANG) != 0)
                return;
            ::usleep(CommandPollMs * 1000);
        }
        ::kill(-m_pid, SIGKILL);
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }

    Result read(uint8_t *frame, const std::atomic<bool> &cancel) override
    {
        if (!m_reader)
            return End;
        while (!cancel.load()) {
            if (ZozEtiReader_Next(m_reader, frame) == 1) {
                m_framesEver = true;
                return Frame;
            }
            if (!m_pending.empty()) {
                const int taken = ZozEtiReader_Feed(m_reader, m_pending.data(), m_pending.size());
                m_pending.erase(0, size_t(taken > 0 ? taken : 0));
                continue;
            }
            pollfd request{m_fd, POLLIN, 0};
            const int ready = ::poll(&request, 1, CommandPollMs);
            if (ready < 0 && errno != EINTR)
                return End;
            if (ready <= 0)
                continue;
            uint8_t chunk[4096];
            const ssize_t got = ::read(m_fd, chunk, sizeof chunk);
            if (got < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (got <= 0)
                return End;
            m_pending.assign(chunk, size_t(got));
        }
        return Cancelled;
    }

    // Called after End, when the command closed its output: it has ended or
    // is about to, so its exit status is waited for (boundedly).
    std::string problem() override
    {
        if (m_framesEver)
            return {};
        int status = 0;
        for (int waited = 0; !m_reaped && waited < CommandExitWaitMs; waited += CommandPollMs) {
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
                m_reaped = true;
            else
                ::usleep(CommandPollMs * 1000);
        }
        const std::string named = "the command '" + m_command + "'";
        if (m_reaped && WIFEXITED(status)) {
            const int code = WEXITSTATUS(status);
            if (code == ShellCommandNotFound)
                return sourceProblem("command not found: '" + m_command + "'");
            if (code == ShellCannotExecute)
                return sourceProblem(named + " cannot be run (exit status 126)");
            return sourceProblem(named + " ended (exit status " + std::to_string(code) +
                                 ") without giving ETI-NI");
        }
        if (m_reaped && WIFSIGNALED(status))
            return sourceProblem(named + " was killed by signal " + std::to_string(WTERMSIG(status)) +
                                 " without giving ETI-NI");
        return sourceProblem(named + " closed its output without giving ETI-NI");
    }

private:
    pid_t m_pid;
    int m_fd;
    std::string m_command;
    ZozEtiReader *m_reader;
    std::basic_string<uint8_t> m_pending;
    bool m_framesEver = false;
    bool m_reaped = false;
};

// `named` is the command as configured: what a problem report names.
std::unique_ptr<FrameSource> startCommand(const std::string &command, const std::string &named)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return nullptr;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const char *argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    pid_t pid = 0;
    const int result = posix_spawn(&pid, "/bin/sh", &actions, &attributes, const_cast<char **>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(fds[1]);
    if (result != 0) {
        ::close(fds[0]);
        return nullptr;
    }
    return std::make_unique<CommandSource>(pid, fds[0], named);
}

} // namespace

std::string channelLabel(uint32_t kHz)
{
    // Every grid, in order: the first channel with this frequency names it.
    const DabChannelGrid *grids = channelGrids();
    for (int grid = 0; grid < DabChannelGridCount; ++grid) {
        const int position = channelPositionOfFrequency(grid, int32_t(kHz));
        if (position >= 0)
            return grids[grid].channels[position].label;
    }
    return {};
}

uint32_t channelFrequency(const std::string &text)
{
    if (const DabChannel *channel = findChannelByLabel(text.c_str()))
        return uint32_t(channel->frequency);
    if (text.empty() || text.size() > 9)
        return 0;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return 0;
    return uint32_t(std::strtoul(text.c_str(), nullptr, 10));
}

SourceConfig parseSource(const char *value)
{
    SourceConfig config;
    if (!value || !*value) {
        config.problem = sourceProblem("not set");
        return config;
    }
    const std::string text(value);
    if (text[0] == '|') {
        if (text.size() > 1) {
            config.kind = SourceConfig::Kind::Command;
            config.command = text.substr(1);
        } else {
            config.problem = sourceProblem("no command after '|'");
        }
        return config;
    }
    if (isDirectory(text)) {
        config.kind = SourceConfig::Kind::Folder;
        config.path = text;
        return config;
    }
    const size_t at = text.rfind('@');
    if (at == std::string::npos) {
        config.problem = isFile(text) ? sourceProblem("the recording '" + text + "' needs the channel it is served on, as in '" +
                                                      text + "@5C'")
                                      : sourceProblem("no such file or folder: '" + text + "'");
        return config;
    }
    const std::string file = text.substr(0, at);
    if (!isFile(file)) {
        config.problem = sourceProblem("no such file: '" + file + "'");
        return config;
    }
    const uint32_t kHz = channelFrequency(text.substr(at + 1));
    if (!kHz) {
        config.problem = sourceProblem("unknown channel '" + text.substr(at + 1) + "' after '" + file +
                                       "@' (give a channel label such as 5C, or kHz)");
        return config;
    }
    config.kind = SourceConfig::Kind::File;
    config.path = file;
    config.fileFrequency = kHz;
    return config;
}

std::string expandCommand(const std::string &command, uint32_t kHz)
{
    std::string label = channelLabel(kHz);
    if (label.empty())
        label = std::to_string(kHz);
    std::string out;
    for (size_t i = 0; i < command.size(); ++i) {
        if (command[i] == '%' && i + 1 < command.size()) {
            const char next = command[i + 1];
            if (next == 'c' || next == 'f' || next == '%') {
                out += next == 'c' ? label : next == 'f' ? std::to_string(kHz) : std::string("%");
                ++i;
                continue;
            }
        }
        out += command[i];
    }
    return out;
}

std::string recordingFor(const SourceConfig &config, uint32_t kHz)
{
    if (kHz == 0)
        return {};
    switch (config.kind) {
    case SourceConfig::Kind::File:
        return config.fileFrequency == kHz ? config.path : std::string();
    case SourceConfig::Kind::Folder: {
        const std::string label = channelLabel(kHz);
        std::string lower = label;
        for (char &c : lower)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        for (const std::string &name : {label, lower, std::to_string(kHz)}) {
            if (name.empty())
                continue;
            for (const char *extension : {".eti", ".ETI"}) {
                const std::string path = config.path + "/" + name + extension;
                if (isFile(path))
                    return path;
            }
        }
        return {};
    }
    default:
        return {};
    }
}

std::unique_ptr<FrameSource> openSource(const SourceConfig &config, uint32_t kHz, std::string *problem)
{
    if (kHz == 0)
        return nullptr;
    if (config.kind == SourceConfig::Kind::Command) {
        auto source = startCommand(expandCommand(config.command, kHz), config.command);
        if (!source && problem)
            *problem = sourceProblem("could not start the command '" + config.command + "'");
        return source;
    }
    const std::string path = recordingFor(config, kHz);
    if (path.empty())
        return nullptr;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (problem)
            *problem = sourceProblem("could not open '" + path + "'");
        return nullptr;
    }
    return std::make_unique<FileSource>(fd, path);
}

} // namespace ZOZ::Rtkdab

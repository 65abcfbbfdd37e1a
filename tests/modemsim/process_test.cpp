// The tarvik-modemsim command itself, run as a child process.
#include "sim_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tarvik::modemsim::test {
namespace {

namespace fs = std::filesystem;

// The command with pipes on its standard streams; killed if a test leaves it running.
class Child {
public:
    Child(std::vector<std::string> arguments, const std::string& configHome) {
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC))
            throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);

        arguments.insert(arguments.begin(), TARVIK_MODEMSIM_PATH);
        std::vector<char*> argv;
        for (auto& a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> env = {"XDG_CONFIG_HOME=" + configHome};
        for (char** e = environ; *e; ++e)
            if (!std::string_view(*e).starts_with("XDG_CONFIG_HOME=")) env.emplace_back(*e);
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        const int failed =
            ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        stdin_ = in[1];
        stdout_ = out[0];
        stderr_ = err[0];
        if (failed) throw std::runtime_error("cannot start " + arguments[0]);
        pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    }

    ~Child() {
        kill();
        for (int fd : {stdin_, stdout_, stderr_, pidfd_})
            if (fd >= 0) ::close(fd);
    }

    // Blocks while the child's standard input is full.
    bool send(std::string_view text) {
        return ::write(stdin_, text.data(), text.size()) == ssize_t(text.size());
    }
    void signal(int number) { ::kill(pid_, number); }
    void kill() {
        if (status_) return;
        ::kill(pid_, SIGKILL);
        waitForExit();
    }
    // Bytes the child has written to standard output that nobody has read yet.
    int unreadOutput() const {
        int count = 0;
        ::ioctl(stdout_, FIONREAD, &count);
        return count;
    }

    // Standard output up to and including a line that contains `text`.
    bool waitForOutput(std::string_view text, milliseconds timeout = 3s) {
        const auto deadline = Clock::now() + timeout;
        while (out_.find(text) == std::string::npos)
            if (!readSome(stdout_, out_, deadline)) return false;
        return true;
    }

    // The exit status, once the child has ended within the timeout.
    std::optional<int> waitForExit(milliseconds timeout = 3s) {
        pollfd fd{pidfd_, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(timeout.count())) != 1) return std::nullopt;
        int status = 0;
        ::waitpid(pid_, &status, 0);
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        const auto now = Clock::now();
        while (readSome(stdout_, out_, now)) {
        }
        while (readSome(stderr_, err_, now)) {
        }
        return status_;
    }

    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

private:
    static bool readSome(int fd, std::string& into, Clock::time_point deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::max(0LL, msBetween(Clock::now(), deadline)))) != 1)
            return false;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return false;
        into.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int stdin_ = -1, stdout_ = -1, stderr_ = -1, pidfd_ = -1;
    std::optional<int> status_;
    std::string out_, err_;
};

TEST(Command, HelpDocumentsOptionsCommandsAndTranscript) {
    TempDir home;
    Child child({"--help"}, home.path());
    ASSERT_EQ(child.waitForExit(), 0);
    for (const auto* word : {"--port",        "--transcript", "--call",   "--rings",
                             "--gap",         "--every",      "--quiet",  "--answer-final",
                             "--dial-result", "--reply",      "--silent", "call [NUMBER",
                             "dial-result",   "hangup",       "unplug",   "send-raw",
                             "MONOTONIC-MS",  "rx ",          "tx ",      "ev "})
        EXPECT_NE(child.out().find(word), std::string::npos) << word;
    EXPECT_FALSE(fs::exists(home.path() + "/Tarvik")) << "help touches nothing";
}

TEST(Command, BadOptionsExitWithAMessage) {
    TempDir home;
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--gap", "300"}, {"--port", "0"}, {"--frobnicate"}}) {
        Child child(arguments, home.path());
        EXPECT_EQ(child.waitForExit(), 2);
        EXPECT_NE(child.err().find(arguments[0]), std::string::npos) << child.err();
        EXPECT_EQ(child.out(), "");
    }
}

class StopSignal : public ::testing::TestWithParam<int> {};

TEST_P(StopSignal, RemovesTheLink) {
    TempDir home;
    const std::string link = home.path() + "/Tarvik/ports/COM2";
    Child child({}, home.path());
    ASSERT_TRUE(child.waitForOutput("** start COM2")) << child.out();
    ASSERT_TRUE(fs::is_symlink(link));
    {
        PortClient port(link);
        port.write("ATE0\r\n");
        EXPECT_EQ(port.readUntil("\r\nOK\r\n"), "ATE0\r\r\nOK\r\n");
    }
    child.signal(GetParam());
    EXPECT_EQ(child.waitForExit(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

INSTANTIATE_TEST_SUITE_P(IntAndTerm, StopSignal, ::testing::Values(SIGTERM, SIGINT));

TEST(Command, StandardInputDrivesTheModemAndTheTranscriptIsReadableMeanwhile) {
    TempDir home;
    const std::string transcript = home.path() + "/t.tsv";
    Child child({"--port", "4", "--transcript", transcript, "--dial-delay", "100ms"}, home.path());
    ASSERT_TRUE(child.waitForOutput("** start COM4")) << child.out();
    PortClient port(home.path() + "/Tarvik/ports/COM4");
    port.write("ATE0\r\n");
    port.readUntil("OK\r\n");

    child.send("rings 2\ngap 100ms\ncall 7654321\n");
    EXPECT_EQ(port.readUntil("RING\r\n\r\nRING\r\n"), "\r\nRING\r\n\r\nRING\r\n");
    child.send("dial-result BUSY\nbogus\n");
    ASSERT_TRUE(child.waitForOutput("set dial-result BUSY"));
    port.write("ATDP1\r\n");
    EXPECT_EQ(port.readUntil("\r\nBUSY\r\n"), "\r\nBUSY\r\n");

    const auto entries = readTranscriptFile(transcript);
    const auto has = [&](Transcript::Kind kind, std::string_view text) {
        return std::any_of(entries.begin(), entries.end(),
                           [&](const auto& e) { return e.kind == kind && e.text == text; });
    };
    EXPECT_TRUE(has(Transcript::Kind::Received, "ATDP1\r\n"));
    EXPECT_TRUE(has(Transcript::Kind::Sent, "BUSY"));
    EXPECT_TRUE(has(Transcript::Kind::Event, "call 7654321 (2 rings, 100ms apart)"));

    child.send("quit\n");
    EXPECT_EQ(child.waitForExit(), 0);
    EXPECT_NE(child.err().find("unknown command 'bogus'"), std::string::npos) << child.err();
    EXPECT_EQ(readTranscriptFile(transcript).back().text, "stop");
}

TEST(Command, AStandardOutputNobodyReadsDoesNotStallTheModem) {
    std::signal(SIGPIPE, SIG_IGN); // the feeder may outlive a hung child
    TempDir home;
    Child child({"--port", "5"}, home.path());
    ASSERT_TRUE(child.waitForOutput("** start COM5"));
    PortClient port(home.path() + "/Tarvik/ports/COM5");

    // Each setting shows on standard output: together far more than a pipe holds.
    std::thread feeder([&child] {
        const std::string line = "answer-final " + std::string(4000, 'x') + "\n";
        for (int i = 0; i < 40 && child.send(line); ++i) {
        }
    });
    const auto deadline = Clock::now() + 3s;
    while (child.unreadOutput() < 60000 && Clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    EXPECT_GE(child.unreadOutput(), 60000);

    port.write("AT\r");
    EXPECT_TRUE(port.readUntil("\r\nOK\r\n", 1s).ends_with("AT\r\r\nOK\r\n"));
    child.signal(SIGTERM);
    EXPECT_EQ(child.waitForExit(), 0);
    child.kill(); // frees the feeder should the child hang
    feeder.join();
}

TEST(Command, RefusesAPortAnotherSimulatorServes) {
    TempDir home;
    Child first({"--quiet"}, home.path());
    first.send("status\n");
    ASSERT_TRUE(first.waitForOutput("COM2 ->"));
    Child second({}, home.path());
    EXPECT_EQ(second.waitForExit(), 1);
    EXPECT_NE(second.err().find("already served"), std::string::npos) << second.err();
    EXPECT_TRUE(fs::is_symlink(home.path() + "/Tarvik/ports/COM2"));
}

} // namespace
} // namespace tarvik::modemsim::test

// A writer process is killed with SIGKILL at random moments, again and again;
// after each kill the next load must hold every write the writer had seen
// return, and nothing half-written. A reader process looking at the INI file
// meanwhile must always find a whole, earlier state.
#include "platform/IniFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>

using platform::IniFile;

namespace {

// Change number i of the writer's endless, reproducible sequence.
struct Op {
    char kind; // W write, D delete key, E erase section
    std::string section, key, value;
};
Op CrashOp(std::int64_t i) {
    std::string section = "S" + std::to_string(i % 5), key = "K" + std::to_string(i % 17);
    if (i % 97 == 0) return {'E', section, "", ""};
    if (i % 23 == 0) return {'D', section, key, ""};
    if (i % 11 == 0)
        return {'W', section, key,
                "v" + std::to_string(i) + "\r\n[Evil]\nK0=" + std::string(i % 300, 'x')};
    return {'W', section, key, std::to_string(i)};
}

using Model = std::map<std::string, std::map<std::string, std::string>>;
void Apply(Model& m, const Op& op) {
    if (op.kind == 'W')
        m[op.section][op.key] = op.value;
    else if (op.kind == 'E')
        m.erase(op.section);
    else if (auto it = m.find(op.section); it != m.end())
        it->second.erase(op.key);
}
Model DumpOf(const IniFile& ini) {
    Model d;
    for (const auto& s : ini.ReadSections()) {
        auto& keys = d[s];
        for (const auto& k : ini.ReadSection(s))
            keys[k] = ini.ReadString(s, k, "");
    }
    return d;
}

// The child: continue the sequence from VK_INI_CRASH_START, reporting each
// change that returned as 8 bytes on fd 3.
int CrashChildMain(const char* path) {
    alarm(30); // never outlive a parent that died
    std::int64_t i = std::atoll(std::getenv("VK_INI_CRASH_START"));
    IniFile ini(path);
    ini.SetFoldPolicy(4096, 2); // fold often, so kills land inside folds too
    for (;; ++i) {
        Op op = CrashOp(i);
        if (op.kind == 'W')
            ini.WriteString(op.section, op.key, op.value);
        else if (op.kind == 'D')
            ini.DeleteKey(op.section, op.key);
        else
            ini.EraseSection(op.section);
        if (::write(3, &i, sizeof i) != sizeof i) return 1;
    }
}

[[maybe_unused]] const bool kIsCrashChild = [] {
    if (const char* p = std::getenv("VK_INI_CRASH_CHILD")) _exit(CrashChildMain(p));
    return false;
}();

struct Child {
    pid_t pid = -1;
    int fd = -1;
    std::string pending;
    std::int64_t last = -1; // last change reported

    Child(const std::string& path, std::int64_t start) {
        int p[2];
        if (::pipe2(p, O_CLOEXEC) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(p[1], 3); // dup2 clears close-on-exec
            setenv("VK_INI_CRASH_CHILD", path.c_str(), 1);
            setenv("VK_INI_CRASH_START", std::to_string(start).c_str(), 1);
            execl("/proc/self/exe", "ini-crash-child", static_cast<char*>(nullptr));
            _exit(127);
        }
        ::close(p[1]);
        fd = p[0];
    }
    // Reads reports for up to `ms` milliseconds (ms < 0: until EOF); false at EOF.
    bool Drain(int ms) {
        using Clock = std::chrono::steady_clock;
        const auto until = Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
        auto left = [&] {
            auto d = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            return std::max(0, static_cast<int>(d.count()));
        };
        for (;;) {
            pollfd pf{fd, POLLIN, 0};
            int r = ::poll(&pf, 1, ms < 0 ? -1 : left());
            if (r == 0 && ms >= 0) return true;
            if (r <= 0) continue;
            char buf[65536];
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) return false;
            pending.append(buf, static_cast<size_t>(n));
            size_t whole = pending.size() / 8 * 8;
            if (whole) std::memcpy(&last, pending.data() + whole - 8, 8);
            pending.erase(0, whole);
            if (ms >= 0 && left() == 0) return true;
        }
    }
    void Kill() {
        ::kill(pid, SIGKILL);
        Drain(-1);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::close(fd);
    }
};

TEST(IniFileCrash, KilledWriterLosesNoReturnedWriteAndLeavesNothingHalfWritten) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("velomar.ini").toStdString();
    std::mt19937 rng(12345);
    Model model;           // state after change `done`
    std::int64_t done = 0; // changes 1..done are in the file
    int roundsWithWrites = 0, readerChecks = 0;

    for (int round = 0; round < 40; ++round) {
        Child child(path, done + 1);
        ASSERT_GT(child.pid, 0);
        // Mostly kill while changes stream in; sometimes while the child starts
        // (loading and folding what the previous one left).
        if (round % 5 == 4) {
            child.Drain(static_cast<int>(rng() % 20));
        } else {
            while (child.last < 0 && child.Drain(5)) {
            }
            child.Drain(static_cast<int>(rng() % 12));
            // A second process reading meanwhile sees some whole earlier state.
            if (round % 2 == 0) {
                IniFile reader(path, IniFile::Mode::ReadOnly);
                Model seen = DumpOf(reader), m = model;
                child.Drain(0);
                bool found = seen == m;
                for (std::int64_t i = done + 1; !found && i <= child.last + 1; ++i) {
                    Apply(m, CrashOp(i));
                    found = seen == m;
                }
                EXPECT_TRUE(found) << "reader saw no state of the sequence, round " << round;
                ++readerChecks;
            }
        }
        child.Kill();
        const std::int64_t returned = std::max(child.last, done);
        if (child.last > 0) ++roundsWithWrites;

        IniFile next(path); // the next load
        Model seen = DumpOf(next);
        Model m = model;
        for (std::int64_t i = done + 1; i <= returned; ++i)
            Apply(m, CrashOp(i));
        if (seen == m) {
            done = returned;
        } else {
            Apply(m, CrashOp(returned + 1)); // in flight when killed, already durable
            ASSERT_TRUE(seen == m) << "round " << round << ": load does not hold changes 1.."
                                   << returned << " exactly";
            done = returned + 1;
        }
        model = std::move(m);
    }
    EXPECT_GE(roundsWithWrites, 25);
    EXPECT_GE(readerChecks, 10);
    EXPECT_GT(done, 1000);
}

} // namespace

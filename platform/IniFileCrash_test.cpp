// A writer process is killed with SIGKILL at random moments, again and again;
// after each kill the next load must hold every write the writer had seen
// return, and nothing half-written. A reader process looking at the INI file
// meanwhile must always find a whole, earlier state.
#include "platform/IniFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
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

// The number of the last change that returned, in a file both processes map.
// A shared counter rather than a message per change, so that the child makes
// no system call of its own between changes and a kill lands anywhere in them.
std::int64_t* MapCounter(const std::string& file) {
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || ::ftruncate(fd, sizeof(std::int64_t)) != 0) return nullptr;
    void* p = ::mmap(nullptr, sizeof(std::int64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    return p == MAP_FAILED ? nullptr : static_cast<std::int64_t*>(p);
}

// The child: continue the sequence from VK_INI_CRASH_START.
int CrashChildMain(const char* path) {
    alarm(30); // never outlive a parent that died
    std::int64_t i = std::atoll(std::getenv("VK_INI_CRASH_START"));
    std::int64_t* counter = MapCounter(std::getenv("VK_INI_CRASH_COUNTER"));
    if (!counter) return 1;
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
        __atomic_store_n(counter, i, __ATOMIC_RELEASE);
    }
}

[[maybe_unused]] const bool kIsCrashChild = [] {
    if (const char* p = std::getenv("VK_INI_CRASH_CHILD")) _exit(CrashChildMain(p));
    return false;
}();

struct Child {
    pid_t pid = -1;
    std::int64_t* counter;

    Child(const std::string& path, const std::string& counterFile, std::int64_t start)
        : counter(MapCounter(counterFile)) {
        if (!counter) return;
        __atomic_store_n(counter, -1, __ATOMIC_RELEASE);
        pid = ::fork();
        if (pid == 0) {
            setenv("VK_INI_CRASH_CHILD", path.c_str(), 1);
            setenv("VK_INI_CRASH_COUNTER", counterFile.c_str(), 1);
            setenv("VK_INI_CRASH_START", std::to_string(start).c_str(), 1);
            execl("/proc/self/exe", "ini-crash-child", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Child() {
        if (counter) ::munmap(counter, sizeof(std::int64_t));
    }
    std::int64_t Last() const { return __atomic_load_n(counter, __ATOMIC_ACQUIRE); }
    bool Alive() const { return ::waitpid(pid, nullptr, WNOHANG) == 0; }
    void Kill() {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
};

void SleepUs(unsigned us) {
    ::usleep(us);
}

TEST(IniFileCrash, KilledWriterLosesNoReturnedWriteAndLeavesNothingHalfWritten) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("velomar.ini").toStdString();
    const std::string counterFile = dir.filePath("counter").toStdString();
    std::mt19937 rng(12345);
    Model model;           // state after change `done`
    std::int64_t done = 0; // changes 1..done are in the file
    int roundsWithWrites = 0, readerChecks = 0;

    for (int round = 0; round < 60; ++round) {
        Child child(path, counterFile, done + 1);
        ASSERT_GT(child.pid, 0);
        // Mostly kill while changes stream in; sometimes while the child starts
        // (loading and folding what the previous one left).
        if (round % 5 == 4) {
            SleepUs(static_cast<unsigned>(rng() % 20000));
        } else {
            for (int i = 0; i < 5000 && child.Last() < 0 && child.Alive(); ++i)
                SleepUs(200);
            SleepUs(static_cast<unsigned>(rng() % 12000));
            // A second process reading meanwhile sees some whole earlier state.
            if (round % 2 == 0) {
                IniFile reader(path, IniFile::Mode::ReadOnly);
                Model seen = DumpOf(reader), m = model;
                const std::int64_t last = child.Last();
                bool found = seen == m;
                for (std::int64_t i = done + 1; !found && i <= last + 1; ++i) {
                    Apply(m, CrashOp(i));
                    found = seen == m;
                }
                EXPECT_TRUE(found) << "reader saw no state of the sequence, round " << round;
                ++readerChecks;
            }
        }
        child.Kill();
        const std::int64_t last = child.Last();
        const std::int64_t returned = std::max(last, done);
        if (last > 0) ++roundsWithWrites;

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
    EXPECT_GE(roundsWithWrites, 30);
    EXPECT_GE(readerChecks, 15);
    EXPECT_GT(done, 1000);
}

} // namespace

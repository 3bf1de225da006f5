#include "platform/Registry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

using platform::Registry;
using platform::RegistryHive;
using platform::RegistryType;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        UseDir(dir_.path());
    }
    static void UseDir(const QString& dir) {
        setenv("REGISTRY_DIR", dir.toLocal8Bit().constData(), 1);
    }
    QString HiveFile(const char* name = "HKEY_CURRENT_USER") const {
        return dir_.path() + "/" + name + ".hive";
    }
    QTemporaryDir dir_;
};

// Runs fn in a child process; its exit status is 0 when fn returned true.
pid_t Child(const std::function<bool()>& fn) {
    pid_t pid = fork();
    if (pid == 0) _exit(fn() ? 0 : 1);
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Name(const char* prefix, int i) {
    return prefix + std::to_string(i);
}

} // namespace

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    Registry r;
    ASSERT_TRUE(r.OpenKey("\\Software\\Orvane\\Velomar", true));
    ASSERT_TRUE(r.WriteString("URL", "http://h/a.zip"));
    ASSERT_TRUE(r.WriteString("url", "http://h/b.zip")); // same value, first spelling kept
    ASSERT_TRUE(r.WriteString("Caf\xC9", "1"));          // accented capital of the code page
    EXPECT_EQ(r.ReadString("Url"), "http://h/b.zip");
    EXPECT_EQ(r.ReadString("caf\xE9"), "1");
    EXPECT_EQ(r.GetValueNames(), (std::vector<std::string>{"Caf\xC9", "URL"}));

    Registry other;
    ASSERT_TRUE(other.OpenKey("SOFTWARE\\ORVANE", false));
    EXPECT_EQ(other.GetKeyNames(), std::vector<std::string>{"Velomar"});
    ASSERT_TRUE(other.OpenKey("velomar\\", false)); // relative to the open key
    EXPECT_EQ(other.CurrentPath(), "SOFTWARE\\ORVANE\\velomar");
    EXPECT_EQ(other.ReadString("URL"), "http://h/b.zip");
    ASSERT_TRUE(other.OpenKey("\\software\\ORVANE\\VELOMAR\\Sub", true));
    other.CloseKey();
    EXPECT_EQ(other.GetKeyNames(), std::vector<std::string>{"Software"});
    EXPECT_TRUE(other.KeyExists("\\\\software\\\\orvane\\velomar\\SUB\\"));
}

TEST_F(RegistryTest, OpenWithoutCreatingLeavesTheStoreAlone) {
    Registry r;
    EXPECT_FALSE(r.OpenKey("\\SOFTWARE\\Tamrisk\\Kestrio\\", false));
    EXPECT_FALSE(QFile::exists(HiveFile()));
    EXPECT_EQ(r.CurrentPath(), "");
    ASSERT_TRUE(r.OpenKey("A", true));
    EXPECT_FALSE(r.OpenKey("Missing", false));
    EXPECT_EQ(r.CurrentPath(), "A"); // a failed open keeps the open key
    EXPECT_FALSE(r.ReadString("x").has_value());
    EXPECT_FALSE(r.DeleteValue("x"));
}

TEST_F(RegistryTest, ValueTypesAndTheirStoredForm) {
    const std::string odd("a b%c\n\r\t=\\\x80\xFF\0z", 14);
    const std::string binary("\0\x01\xFE\xFF%", 5);
    {
        Registry r;
        ASSERT_TRUE(r.OpenKey("Types", true));
        ASSERT_TRUE(r.WriteString("", "KesApp Object")); // the key's default value
        ASSERT_TRUE(r.WriteString("odd name \x80", odd));
        ASSERT_TRUE(r.WriteString("empty", ""));
        ASSERT_TRUE(r.WriteInteger("min", INT32_MIN));
        ASSERT_TRUE(r.WriteInteger("max", INT32_MAX));
        ASSERT_TRUE(r.WriteBool("yes", true));
        ASSERT_TRUE(r.WriteBool("no", false));
        ASSERT_TRUE(r.WriteBinary("bin", binary));
        ASSERT_TRUE(r.WriteBinary("nobytes", ""));
        ASSERT_TRUE(r.WriteString("changes", "text"));
        ASSERT_TRUE(r.WriteInteger("CHANGES", 5)); // another type replaces it
    }
    // Read back from a copy of the file, so that the text form is parsed anew.
    QTemporaryDir copy;
    ASSERT_TRUE(QFile::copy(HiveFile(), copy.path() + "/HKEY_CURRENT_USER.hive"));
    UseDir(copy.path());
    Registry r;
    ASSERT_TRUE(r.OpenKey("types", false));
    EXPECT_EQ(r.ReadString(""), "KesApp Object");
    EXPECT_EQ(r.ReadString("ODD NAME \x80"), odd);
    EXPECT_EQ(r.ReadString("empty"), "");
    EXPECT_EQ(r.ReadInteger("min"), INT32_MIN);
    EXPECT_EQ(r.ReadInteger("max"), INT32_MAX);
    EXPECT_EQ(r.ReadInteger("yes"), 1);
    EXPECT_EQ(r.ReadInteger("no"), 0);
    EXPECT_EQ(r.ReadBool("yes"), true);
    EXPECT_EQ(r.ReadBool("no"), false);
    EXPECT_EQ(r.GetDataType("yes"), RegistryType::Integer);
    EXPECT_EQ(r.ReadBinary("bin"), binary);
    EXPECT_EQ(r.ReadBinary("nobytes"), "");
    EXPECT_EQ(r.GetDataType("changes"), RegistryType::Integer);
    EXPECT_EQ(r.ReadInteger("changes"), 5);
    // A value of another type, or none, reads as absent.
    EXPECT_FALSE(r.ReadString("bin").has_value());
    EXPECT_FALSE(r.ReadInteger("empty").has_value());
    EXPECT_FALSE(r.ReadBool("empty").has_value());
    EXPECT_FALSE(r.ReadBinary("max").has_value());
    EXPECT_FALSE(r.GetDataType("none").has_value());
    EXPECT_EQ(r.GetValueNames().size(), 10u);
}

TEST_F(RegistryTest, DeletingValuesAndKeysWithTheirSubKeys) {
    Registry r;
    ASSERT_TRUE(r.OpenKey("\\Software\\Orvane\\Velomar\\URL", true));
    ASSERT_TRUE(r.WriteString("URL", "u"));
    ASSERT_TRUE(r.WriteString("Referer", "r"));
    ASSERT_TRUE(r.CreateKey("Deep\\Deeper"));
    EXPECT_TRUE(r.DeleteValue("url"));
    EXPECT_FALSE(r.DeleteValue("url"));
    EXPECT_EQ(r.GetValueNames(), std::vector<std::string>{"Referer"});

    Registry other;
    ASSERT_TRUE(other.OpenKey("\\Software\\Orvane", false));
    ASSERT_TRUE(other.WriteString("kept", "1"));
    EXPECT_TRUE(other.DeleteKey("VELOMAR"));
    EXPECT_FALSE(other.DeleteKey("Velomar"));
    EXPECT_FALSE(other.KeyExists("Velomar\\URL\\Deep\\Deeper"));
    EXPECT_FALSE(other.KeyExists("Velomar"));
    EXPECT_EQ(other.ReadString("kept"), "1");
    EXPECT_FALSE(other.DeleteKey("\\")); // the hive stays

    // The first object's key is gone: it reads nothing and cannot write.
    EXPECT_FALSE(r.ReadString("Referer").has_value());
    EXPECT_FALSE(r.WriteString("URL", "again"));
    EXPECT_FALSE(other.KeyExists("Velomar"));
}

TEST_F(RegistryTest, HivesAreSeparateAndFoundThroughTheEnvironment) {
    for (RegistryHive hive :
         {RegistryHive::CurrentUser, RegistryHive::LocalMachine, RegistryHive::ClassesRoot}) {
        Registry r(hive);
        ASSERT_TRUE(r.OpenKey("Same", true));
        ASSERT_TRUE(r.WriteInteger("Hive", static_cast<int32_t>(hive)));
    }
    for (RegistryHive hive :
         {RegistryHive::CurrentUser, RegistryHive::LocalMachine, RegistryHive::ClassesRoot}) {
        Registry r(RegistryHive::CurrentUser);
        r.SetHive(hive);
        ASSERT_TRUE(r.OpenKey("Same", false));
        EXPECT_EQ(r.ReadInteger("Hive"), static_cast<int32_t>(hive));
    }
    for (const char* name : {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_CLASSES_ROOT"})
        EXPECT_TRUE(QFile::exists(HiveFile(name))) << name;

    const std::string saved = getenv("REGISTRY_DIR");
    const char* home = getenv("HOME");
    const std::string savedHome = home ? home : "";
    setenv("XDG_DATA_HOME", "/x/data", 1);
    setenv("HOME", "/x/home", 1);
    EXPECT_EQ(platform::RegistryDir(), saved.c_str());
    unsetenv("REGISTRY_DIR");
    EXPECT_EQ(platform::RegistryDir(), "/x/data/registry");
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(platform::RegistryDir(), "/x/home/.local/share/registry");
    setenv("HOME", savedHome.c_str(), 1);
    setenv("REGISTRY_DIR", saved.c_str(), 1);
}

TEST_F(RegistryTest, HandEditedFileLoadsAndAnUnreadableOneIsNotOverwritten) {
    QFile f(HiveFile());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("registry 1\r\n"
            "K Software\\Maker\r\n"
            "S Name first\r\n"
            "S NAME second\n" // repeated: the first occurrence wins
            "I Count 12x\n"   // broken number
            "B Data 0G\n"     // broken hex
            "S Bad%4 x\n"     // broken escape
            "garbage line\n"
            "\n"
            "I Count 7\n"
            "K Other\n"
            "S Last %41%20b"); // no final line end
    f.close();
    Registry r;
    ASSERT_TRUE(r.OpenKey("software\\maker", false));
    EXPECT_EQ(r.ReadString("name"), "first");
    EXPECT_EQ(r.ReadInteger("count"), 7);
    EXPECT_EQ(r.GetValueNames(), (std::vector<std::string>{"Count", "Name"}));
    ASSERT_TRUE(r.OpenKey("\\Other", false));
    EXPECT_EQ(r.ReadString("last"), "A b");

    // A hive that cannot be read reads as empty and refuses writes.
    QTemporaryDir broken;
    ASSERT_TRUE(QDir().mkdir(broken.path() + "/HKEY_CURRENT_USER.hive"));
    UseDir(broken.path());
    Registry b;
    EXPECT_FALSE(b.KeyExists("Other"));
    EXPECT_FALSE(b.OpenKey("Other", true));
    EXPECT_FALSE(b.WriteString("x", "y"));
}

TEST_F(RegistryTest, TwoWriterProcessesLoseNothing) {
    constexpr int kEach = 60;
    Registry r;
    ASSERT_TRUE(r.OpenKey("Shared", true)); // this process caches the hive before the writers
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    auto writer = [&](const char* prefix) {
        return Child([&, prefix] {
            close(gate[1]);
            char c;
            (void)!read(gate[0], &c, 1); // both start when the gate closes
            Registry w;
            bool ok = w.OpenKey("\\SHARED", false);
            for (int i = 0; ok && i < kEach; ++i)
                ok = w.WriteString(Name(prefix, i), Name("value ", i));
            return ok;
        });
    };
    pid_t a = writer("a"), b = writer("b");
    close(gate[0]);
    close(gate[1]);
    // Reading meanwhile sees the store only grow.
    size_t seen = 0;
    for (int polls = 0; polls < 2000 && seen < 2 * kEach; ++polls) {
        size_t now = r.GetValueNames().size();
        ASSERT_GE(now, seen);
        seen = now;
        usleep(500);
    }
    EXPECT_EQ(Wait(a), 0);
    EXPECT_EQ(Wait(b), 0);
    std::vector<std::string> names = r.GetValueNames();
    ASSERT_EQ(names.size(), 2u * kEach);
    for (int i = 0; i < kEach; ++i)
        for (const char* prefix : {"a", "b"})
            EXPECT_EQ(r.ReadString(Name(prefix, i)), Name("value ", i)) << prefix << i;
}

TEST_F(RegistryTest, WriterKilledMidWriteLeavesAStoreThatLoads) {
    // A large value makes every write long, so the kills land inside writes.
    std::mt19937 rng(12345);
    std::string big(256 * 1024, '\0');
    for (char& c : big)
        c = static_cast<char>(rng());
    Registry r;
    ASSERT_TRUE(r.OpenKey("Kill", true));
    ASSERT_TRUE(r.WriteBinary("big", big));

    int stored = 0, midWrite = 0;
    for (int round = 0; round < 40 && midWrite < 3; ++round) {
        pid_t pid = Child([stored] {
            Registry w;
            if (!w.OpenKey("Kill", false)) return false;
            for (int i = stored;; ++i)
                if (!w.WriteString(Name("v", i), Name("value ", i))) return false;
        });
        usleep(2000 + static_cast<useconds_t>(rng() % 20000));
        kill(pid, SIGKILL);
        ASSERT_EQ(Wait(pid), -1);
        if (QFile::exists(dir_.path() + "/HKEY_CURRENT_USER.tmp")) ++midWrite;

        // Every write is there whole or not at all, in the order made.
        std::vector<std::string> names = r.GetValueNames();
        ASSERT_FALSE(names.empty()) << "round " << round;
        int count = static_cast<int>(names.size()) - 1;
        ASSERT_GE(count, stored);
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(r.ReadString(Name("v", i)), Name("value ", i)) << "round " << round;
        ASSERT_EQ(r.ReadBinary("big"), big);
        stored = count;
    }
    EXPECT_GT(midWrite, 0) << "no kill landed inside a write";
    EXPECT_TRUE(r.WriteString("after", "ok")); // the lock died with the writer
    EXPECT_EQ(r.ReadString("after"), "ok");
}

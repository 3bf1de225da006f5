// The program itself: registration switches and the automation mode that a
// browser starts, spoken to over a pipe in native-messaging framing.
#include "kestrio/app/KesApp.h"
#include "kestrio/app/NativeMessaging.h"
#include "platform/testing/EventLoop.h"
#include "platform/testing/NginxServer.h"
#include "platform/testing/TempDir.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

namespace kestrio {
namespace {

using platform::testing::TempDir;

const QString kExe = VK_BINARY_DIR "/bin/kestrio";

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::testing::App();
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("REGISTRY_DIR", QString::fromStdString(dir_.File("registry")));
        env_.insert("VELOMAR_PROGRAM_PATH", QString::fromStdString(dir_.File("kestrio")));
        env_.insert("HOME", QString::fromStdString(dir_.File("home")));
        env_.insert("QT_QPA_PLATFORM", "offscreen");
        env_.insert("KESTRIO_SERVER", QString::fromStdString(server_.Url("")));
    }
    int Run(const QStringList& args, QString* err = nullptr) {
        QProcess p;
        p.setProcessEnvironment(env_);
        p.start(kExe, args);
        EXPECT_TRUE(p.waitForFinished(30000));
        if (err) *err = p.readAllStandardError();
        return p.exitCode();
    }
    QString Manifest(const char* rel) const {
        return QString::fromStdString(dir_.File("home")) + rel + "/kestrio.kesapp.json";
    }
    TempDir dir_{"kesapp-prog"};
    platform::testing::NginxServer server_;
    QProcessEnvironment env_;
};

TEST_F(ProgramTest, RegServerAndUnregServerInAnyCaseAfterSlashOrDash) {
    ASSERT_EQ(Run({"/RegServer"}), 0);
    const QString chromium = Manifest("/.config/chromium/NativeMessagingHosts");
    const QString firefox = Manifest("/.mozilla/native-messaging-hosts");
    QFile f(chromium);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QJsonObject m = QJsonDocument::fromJson(f.readAll()).object();
    EXPECT_EQ(m["path"].toString(), QFileInfo(kExe).absoluteFilePath());
    EXPECT_TRUE(QFile::exists(firefox));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(dir_.File("registry"))));

    ASSERT_EQ(Run({"-unregserver"}), 0);
    EXPECT_FALSE(QFile::exists(chromium));
    EXPECT_FALSE(QFile::exists(firefox));

    // A home that cannot take the manifests: reported, and the program fails.
    platform::testing::WriteFile(dir_.File("blocked"), "x");
    env_.insert("HOME", QString::fromStdString(dir_.File("blocked")));
    QString err;
    EXPECT_EQ(Run({"-REGSERVER"}, &err), 1);
    EXPECT_TRUE(err.contains("Cannot write")) << err.toStdString();

    EXPECT_EQ(Run({"--bogus"}, &err), 2);
    EXPECT_TRUE(err.contains("usage:"));
}

// A browser's side of the connection.
struct Browser {
    QProcess p;
    FrameReader reader;
    void Send(const QByteArray& json) { p.write(FrameMessage(json)); }
    std::vector<QJsonObject> WaitFor(size_t n) {
        std::vector<QJsonObject> got;
        platform::testing::RunUntil(
            [&] {
                const QByteArray b = p.readAllStandardOutput();
                reader.Feed(b.constData(), b.size());
                QByteArray m;
                while (reader.Take(m))
                    got.push_back(QJsonDocument::fromJson(m).object());
                return got.size() >= n;
            },
            20000);
        return got;
    }
};

const char* kStart = R"({"call":"Start","id":1,"snapshot":{"version":1,"window":{
    "url":"http://127.0.0.1/p.htm","document":{"title":"P",
    "all":[{"tagName":"HTML","outerHTML":"<HTML></HTML>"}]}}}})";

TEST_F(ProgramTest, StartedByTheBrowserAnswersAndLivesWhileAnyoneHoldsTheObject) {
    // Chromium's start: the caller's origin. The dialog keeps the object after
    // the extension lets go, so the process stays.
    Browser chromium;
    chromium.p.setProcessEnvironment(env_);
    chromium.p.start(kExe, {"chrome-extension://hkmfoegjbnpalcdkiomgbjefpdlcniah/"});
    ASSERT_TRUE(chromium.p.waitForStarted());
    chromium.Send(kStart);
    std::vector<QJsonObject> got = chromium.WaitFor(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0]["answer"].toString(), "Start");
    EXPECT_TRUE(got[0]["ok"].toBool()) << QJsonDocument(got[0]).toJson().toStdString();
    chromium.p.closeWriteChannel();
    EXPECT_FALSE(chromium.p.waitForFinished(500)) << "the dialog still holds the object";
    chromium.p.kill();
    chromium.p.waitForFinished();

    // Firefox's start: the manifest's path and the add-on's id. Without a
    // successful Start, letting go ends the process.
    Browser firefox;
    firefox.p.setProcessEnvironment(env_);
    firefox.p.start(kExe,
                    {Manifest("/.mozilla/native-messaging-hosts"), "kestrio@tamrisk.example"});
    ASSERT_TRUE(firefox.p.waitForStarted());
    firefox.Send(R"({"call":"Open","id":2})");
    got = firefox.WaitFor(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_FALSE(got[0]["ok"].toBool());
    EXPECT_EQ(got[0]["error"].toObject()["code"].toInt(), -2147352567);
    firefox.p.closeWriteChannel();
    ASSERT_TRUE(firefox.p.waitForFinished(10000));
    EXPECT_EQ(firefox.p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(firefox.p.exitCode(), 0);
}

} // namespace
} // namespace kestrio

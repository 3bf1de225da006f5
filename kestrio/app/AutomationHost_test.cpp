// The automation object over native messaging, driven through a pipe as a
// browser would drive it.
#include "kestrio/app/AutomationHost.h"
#include "kestrio/app/MainFrm.h"
#include "kestrio/app/StartFrm.h"
#include "kestrio/app/StoredOptions.h"
#include "platform/testing/TempDir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace kestrio {
namespace {

// The window tests of this executable need a QApplication, whoever comes first.
QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "kestrio_app_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QApplication(argc, argv);
    return *QCoreApplication::instance();
}

// Fills nothing; records the page and may do a hand-over as the dialog does.
struct FakeDialog : IPageReceiver {
    std::string url;
    bool handOver = false;
    std::string target = "http://127.0.0.1/a.zip"; // Windows-1252
    void LoadPage(const platform::DomValue& w) override {
        url = w.Get("document").Get("URL").ToString();
        if (handOver) {
            w.Get("document").Get("location").Set("href", target);
            KesAppInstance->FlushNavigation(w);
        }
    }
};

struct Pipes {
    int toHost[2], fromHost[2];
    Pipes() {
        EXPECT_EQ(pipe(toHost), 0);
        EXPECT_EQ(pipe(fromHost), 0);
        fcntl(fromHost[0], F_SETFL, O_NONBLOCK);
    }
    ~Pipes() {
        for (int fd : {toHost[0], toHost[1], fromHost[0], fromHost[1]})
            if (fd >= 0) close(fd);
    }
    void Send(const QByteArray& json) {
        const uint32_t n = uint32_t(json.size());
        ASSERT_EQ(write(toHost[1], &n, 4), 4);
        ASSERT_EQ(write(toHost[1], json.constData(), n), ssize_t(n));
    }
    void CloseInput() {
        close(toHost[1]);
        toHost[1] = -1;
    }
    // Messages written by the host so far.
    std::vector<QJsonObject> Received() {
        char buf[65536];
        ssize_t n;
        while ((n = read(fromHost[0], buf, sizeof buf)) > 0)
            reader.Feed(buf, n);
        std::vector<QJsonObject> out;
        QByteArray m;
        while (reader.Take(m))
            out.push_back(QJsonDocument::fromJson(m).object());
        return out;
    }
    FrameReader reader;
};

void SpinUntil(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

const char* kSnapshot = R"({"call":"Start","id":7,"snapshot":{"version":1,"window":{
    "url":"http://127.0.0.1/p.htm","document":{"title":"P"}}}})";

TEST(AutomationHostTest, StartAnswersHandsOverAndEndsWhenBothHoldsAreGone) {
    App();
    Pipes p;
    FakeDialog dialog;
    dialog.handOver = true;
    TKesApp app(&dialog);
    bool ended = false;
    app.OnLastRelease = [&] { ended = true; };
    AutomationHost host(app, p.toHost[0], p.fromHost[1]);

    p.Send(kSnapshot);
    std::vector<QJsonObject> got;
    SpinUntil([&] {
        for (auto& m : p.Received())
            got.push_back(m);
        return got.size() >= 2;
    });
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0]["navigate"].toString(), "http://127.0.0.1/a.zip");
    EXPECT_EQ(got[1]["answer"].toString(), "Start");
    EXPECT_EQ(got[1]["id"].toInt(), 7);
    EXPECT_TRUE(got[1]["ok"].toBool());
    EXPECT_EQ(dialog.url, "http://127.0.0.1/p.htm");
    EXPECT_EQ(KesAppInstance, &app);
    EXPECT_EQ(app.References(), 2);

    // The script lets go; the dialog still holds the object.
    p.CloseInput();
    SpinUntil([&] { return host.Released(); });
    EXPECT_TRUE(host.Released());
    EXPECT_FALSE(ended);
    app.ReleaseExtraHold();
    app.ReleaseExtraHold(); // every way out of the dialog may call it
    EXPECT_TRUE(ended);
    EXPECT_EQ(app.References(), 0);
}

TEST(AutomationHostTest, NavigateCarriesAnAddressBeyondASCIIAsUnicode) {
    App();
    Pipes p;
    FakeDialog dialog;
    dialog.handOver = true;
    dialog.target = "http://127.0.0.1/caf\xE9 \x80.zip";
    TKesApp app(&dialog);
    AutomationHost host(app, p.toHost[0], p.fromHost[1]);
    p.Send(kSnapshot);
    std::vector<QJsonObject> got;
    SpinUntil([&] {
        for (auto& m : p.Received())
            got.push_back(m);
        return got.size() >= 2;
    });
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0]["navigate"].toString(), QString::fromUtf8("http://127.0.0.1/café €.zip"));
}

TEST(AutomationHostTest, ErrorsGoBackAsTheCallsError) {
    App();
    Pipes p;
    FakeDialog dialog;
    TKesApp app(&dialog);
    bool ended = false;
    app.OnLastRelease = [&] { ended = true; };
    AutomationHost host(app, p.toHost[0], p.fromHost[1]);

    p.Send("not json");
    p.Send(R"({"call":"Stop","id":"x"})");
    p.Send(R"({"call":"Start","id":3,"snapshot":{"version":99}})");
    std::vector<QJsonObject> got;
    SpinUntil([&] {
        for (auto& m : p.Received())
            got.push_back(m);
        return got.size() >= 3;
    });
    ASSERT_EQ(got.size(), 3u);
    for (const QJsonObject& m : got) {
        EXPECT_FALSE(m["ok"].toBool());
        EXPECT_EQ(m["error"].toObject()["code"].toInt(), kAutomationErrorCode);
        EXPECT_FALSE(m["error"].toObject()["message"].toString().isEmpty());
    }
    EXPECT_EQ(got[1]["id"].toString(), "x");
    EXPECT_EQ(got[2]["id"].toInt(), 3);

    // No Start succeeded: closing the input ends the process.
    p.CloseInput();
    SpinUntil([&] { return ended; });
    EXPECT_TRUE(ended);
}

TEST(AutomationHostTest, OversizedEchoesStillGetAnAnswer) {
    App();
    Pipes p;
    ASSERT_GE(fcntl(p.fromHost[1], F_SETPIPE_SZ, 1 << 20), 1 << 20) << "room for the answers";
    FakeDialog dialog;
    TKesApp app(&dialog);
    AutomationHost host(app, p.toHost[0], p.fromHost[1]);
    // Echoed as they came, either would make an answer above the browser's
    // limit of 1 MB, which would then never be sent.
    const QByteArray longText(1536 * 1024, 'x');
    std::thread writer([&] {
        p.Send(R"({"call":"Start","id":")" + longText + R"(","snapshot":{}})");
        p.Send(R"({"call":")" + longText + R"(","id":5})");
    });
    std::vector<QJsonObject> got;
    SpinUntil([&] {
        for (auto& m : p.Received())
            got.push_back(m);
        return got.size() >= 2;
    });
    writer.join(); // the host reads all input, answered or not
    ASSERT_EQ(got.size(), 2u);
    for (const QJsonObject& m : got) {
        EXPECT_FALSE(m["ok"].toBool());
        EXPECT_EQ(m["error"].toObject()["code"].toInt(), kAutomationErrorCode);
    }
    EXPECT_FALSE(got[0].contains("id"));
    EXPECT_EQ(got[0]["answer"].toString(), "Start");
    EXPECT_EQ(got[1]["id"].toInt(), 5);
    EXPECT_TRUE(got[1]["answer"].isNull());
    EXPECT_EQ(KesAppInstance, nullptr) << "no Start ran";
}

// The real dialog behind the object: a link meant for the browser's own
// download handling goes back to the browser as a navigate message.
TEST(AutomationHostTest, HandOverFromTheDialogAsksTheBrowserToFetch) {
    App();
    platform::testing::TempDir store("kesapp-store"), out("kesapp-out");
    qputenv("REGISTRY_DIR", QByteArray::fromStdString(store.Path()));
    qputenv("KESTRIO_SERVER",
            QByteArray::fromStdString("http://127.0.0.1:" +
                                      std::to_string(platform::testing::FreePort())));
    TOptions o;
    o.Advanced.DoWithExtensions = 1;
    o.Advanced.Extensions = "zip";
    ASSERT_TRUE(SaveOptions(o));
    Pipes p;
    TStartForm form;
    form.ShowError = [](const QString& m) { ADD_FAILURE() << m.toStdString(); };
    TKesApp app(&form);
    bool ended = false;
    app.OnLastRelease = [&] { ended = true; };
    AutomationHost host(app, p.toHost[0], p.fromHost[1]);
    form.show();
    p.Send(R"({"call":"Start","id":1,"snapshot":{"version":1,"window":{
        "url":"http://127.0.0.1/p.htm","document":{"title":"P","selection":"Get it",
        "links":[{"href":"http://127.0.0.1/files/a.zip","innerText":"Get it"}],
        "all":[{"tagName":"HTML","outerHTML":"<HTML><a href=files/a.zip>Get it</a></HTML>"}]}}}})");
    std::vector<QJsonObject> got;
    SpinUntil([&] {
        for (auto& m : p.Received())
            got.push_back(m);
        return !got.empty();
    });
    ASSERT_EQ(got.size(), 1u);
    ASSERT_TRUE(got[0]["ok"].toBool());
    p.CloseInput();
    SpinUntil([&] { return host.Released(); });

    form.edFolder->setText(QString::fromStdString(out.Path()));
    form.btnSave->click();
    for (auto& m : p.Received())
        got.push_back(m);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1]["navigate"].toString(), "http://127.0.0.1/files/a.zip");
    EXPECT_TRUE(ended) << "both holds are gone";
    const std::string index = platform::testing::ReadFile(out.File("INDEX.HTM"));
    EXPECT_NE(index.find("javascript: alert('http://127.0.0.1/files/a.zip"), std::string::npos)
        << index;
    qunsetenv("REGISTRY_DIR");
    qunsetenv("KESTRIO_SERVER");
}

} // namespace
} // namespace kestrio

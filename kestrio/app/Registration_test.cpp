#include "kestrio/app/KesApp.h"
#include "kestrio/app/Registration.h"
#include "kestrio/app/StoredOptions.h"
#include "platform/Registry.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kestrio {
namespace {

// Registry store and home of the test's own.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        oldHome_ = qgetenv("HOME");
        qputenv("REGISTRY_DIR", (dir_.path() + "/registry").toUtf8());
        qputenv("HOME", (dir_.path() + "/home").toUtf8());
    }
    void TearDown() override {
        qputenv("HOME", oldHome_);
        qunsetenv("REGISTRY_DIR");
    }
    QTemporaryDir dir_;
    QByteArray oldHome_;
};

QJsonObject ReadJson(const std::string& path) {
    QFile f(QString::fromStdString(path));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path;
    return QJsonDocument::fromJson(f.readAll()).object();
}

TEST_F(StoreTest, RegisterWritesClassAndManifestsAndUnregisterRemovesThem) {
    std::string error;
    ASSERT_TRUE(RegisterServer("/opt/kes trio/kestrio", error)) << error;
    platform::Registry reg(platform::RegistryHive::ClassesRoot);
    ASSERT_TRUE(reg.OpenKey(std::string("\\CLSID\\") + kClassGUID + "\\LocalServer32", false));
    EXPECT_EQ(reg.ReadString(""), "/opt/kes trio/kestrio");
    ASSERT_TRUE(reg.OpenKey("\\Kestrio.KesApp\\Clsid", false));
    EXPECT_EQ(reg.ReadString(""), kClassGUID);

    const QJsonObject chromium = ReadJson(ChromiumManifestPath());
    EXPECT_EQ(chromium["name"].toString(), "kestrio.kesapp");
    EXPECT_EQ(chromium["type"].toString(), "stdio");
    EXPECT_EQ(chromium["path"].toString(), "/opt/kes trio/kestrio");
    EXPECT_EQ(chromium["allowed_origins"].toArray()[0].toString(), kChromiumExtensionOrigin);
    const QJsonObject firefox = ReadJson(FirefoxManifestPath());
    EXPECT_EQ(firefox["allowed_extensions"].toArray()[0].toString(), kFirefoxExtensionId);
    EXPECT_NE(FirefoxManifestPath().find("/home/.mozilla/native-messaging-hosts/"),
              std::string::npos);

    ASSERT_TRUE(UnregisterServer(error)) << error;
    EXPECT_FALSE(reg.KeyExists(std::string("\\CLSID\\") + kClassGUID));
    EXPECT_FALSE(reg.KeyExists("\\Kestrio.KesApp"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(ChromiumManifestPath())));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(FirefoxManifestPath())));
    EXPECT_TRUE(UnregisterServer(error)) << "nothing left to remove is no failure";
}

TEST_F(StoreTest, OptionsKeepStartValuesWithoutKeyAndRoundTripOnceStored) {
    TOptions o;
    LoadOptions(o);
    EXPECT_EQ(o.Advanced.KeyWords, "") << "defaults apply only when the key exists";
    EXPECT_EQ(o.Advanced.Extensions, "");
    EXPECT_FALSE(o.General.ShowPictures);

    o.General.DestinationFolder = "/tmp/pages";
    o.General.CreateSubFolder = true;
    o.General.ShowPictures = true;
    o.General.URLW = 321;
    o.Advanced.NotKeyPic = true;
    o.Advanced.KeyWords = ""; // replaced by the default when read back
    o.Advanced.Extensions = "zip pdf";
    o.Advanced.DoWithExtensions = 2;
    ASSERT_TRUE(SaveOptions(o)) << "the key is created when storing";
    platform::Registry reg;
    ASSERT_TRUE(reg.OpenKey(kOptionsKey, false));
    EXPECT_EQ(reg.GetDataType("ShowPictures"), platform::RegistryType::Integer);
    EXPECT_EQ(reg.ReadInteger("ShowPictures"), 1);

    TOptions back;
    LoadOptions(back);
    EXPECT_EQ(back.General.DestinationFolder, "/tmp/pages");
    EXPECT_TRUE(back.General.CreateSubFolder);
    EXPECT_TRUE(back.General.ShowPictures);
    EXPECT_EQ(back.General.URLW, 321);
    EXPECT_EQ(back.General.TextW, 0);
    EXPECT_FALSE(back.Advanced.NotExtPic);
    EXPECT_TRUE(back.Advanced.NotKeyPic);
    EXPECT_EQ(back.Advanced.KeyWords, "banner advertising");
    EXPECT_EQ(back.Advanced.Extensions, "zip pdf");
    EXPECT_EQ(back.Advanced.DoWithExtensions, 2);
}

} // namespace
} // namespace kestrio

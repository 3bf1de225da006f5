// The credentials prompt: Enter confirms, Escape cancels, fixed size, texts
// applied once at creation.
#include "desktop/testing/DesktopFixture.h"
#include "engine/FormGetAuthentication.h"
#include "i18n/UnitLanguageManagement.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

using desktop_testing::AnswerNextDialog;

// The font library keeps its configuration until the process ends; that is no
// leak of ours. Read by the leak checker of sanitizer builds only.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}

static auto* const gGui = ::testing::AddGlobalTestEnvironment(new desktop_testing::GuiEnvironment);

namespace {

void PressKey(QDialog* d, Qt::Key key) {
    QWidget* target = d->focusWidget() ? d->focusWidget() : d;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

class AuthenticationTest : public ::testing::Test {
protected:
    void SetUp() override {
        desktop_testing::UseProgramFolder(dir);
        platform::testing::WriteFile(dir.File("velomar.ini"),
                                     desktop_testing::InstalledSettings(dir, ""));
        StartModules();
        LangManager->LoadCurrent();
    }
    void TearDown() override { StopModules(); }
    platform::testing::TempDir dir;
};

} // namespace

TEST_F(AuthenticationTest, EnterConfirmsWithWhateverIsTypedEscapeCancels) {
    std::string user = "stored", password = "secret";
    AnswerNextDialog([](QDialog* d) {
        auto* f = static_cast<TFrmGetAuthentication*>(d);
        EXPECT_EQ(f->lblBasicRealm->text(), "\"Private area\"");
        EXPECT_EQ(f->editUser->text(), "stored");
        EXPECT_EQ(f->editPassword->echoMode(), QLineEdit::Password);
        f->editUser->clear();
        f->editPassword->clear();
        PressKey(d, Qt::Key_Return);
    });
    EXPECT_TRUE(AskCredentialsDialog("\"Private area\"", user, password));
    EXPECT_EQ(user, "");
    EXPECT_EQ(password, "");

    user = "kept";
    AnswerNextDialog([](QDialog* d) {
        static_cast<TFrmGetAuthentication*>(d)->editUser->setText("typed");
        PressKey(d, Qt::Key_Escape);
    });
    EXPECT_FALSE(AskCredentialsDialog("r", user, password));
    EXPECT_EQ(user, "kept");
}

TEST_F(AuthenticationTest, RealmMarkupFromTheServerIsShownAsTyped) {
    std::string user, password;
    AnswerNextDialog([](QDialog* d) {
        QLabel* realm = static_cast<TFrmGetAuthentication*>(d)->lblBasicRealm;
        EXPECT_EQ(realm->textFormat(), Qt::PlainText);
        EXPECT_EQ(realm->text(), "\"<b>Admin</b> <img src=x>\"");
        PressKey(d, Qt::Key_Escape);
    });
    EXPECT_FALSE(AskCredentialsDialog("\"<b>Admin</b> <img src=x>\"", user, password));
}

TEST_F(AuthenticationTest, FixedSizeAndTextsOfTheLanguageAtCreation) {
    TFrmGetAuthentication f;
    EXPECT_EQ(f.size(), QSize(396, 160));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_EQ(f.windowTitle(), "Password Requested");
    EXPECT_EQ(f.cmdAuthorize->geometry(), QRect(233, 125, 75, 25));
    EXPECT_TRUE(f.cmdAuthorize->isDefault());
    LangManager->SetCurrentIndex(-1); // Portuguese, while the window is open
    LangManager->LoadCurrent();
    f.FormShow(&f); // an ordinary show changes nothing
    EXPECT_EQ(f.windowTitle(), "Password Requested");
    f.FormShow(nullptr);
    EXPECT_EQ(f.windowTitle(), "Senha Requisitada");
}

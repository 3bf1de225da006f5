#include "engine/FormGetAuthentication.h"

#include "desktop/FormTexts.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TFrmGetAuthentication::TFrmGetAuthentication(QWidget* parent) : QDialog(parent) {
    setObjectName("FrmGetAuthentication");
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(396, 160); // the border cannot resize it
    lblBasicRealm = new QLabel(this);
    lblBasicRealm->setObjectName("lblBasicRealm");
    lblBasicRealm->setGeometry(24, 20, 348, 21);
    lblBasicRealm->setTextFormat(Qt::PlainText); // the server's text, never markup
    lblUser = new QLabel(this);
    lblUser->setGeometry(24, 55, 120, 21);
    editUser = new QLineEdit(this);
    editUser->setObjectName("editUser");
    editUser->setGeometry(150, 55, 222, 21);
    lblPassword = new QLabel(this);
    lblPassword->setGeometry(24, 81, 120, 21);
    editPassword = new QLineEdit(this);
    editPassword->setObjectName("editPassword");
    editPassword->setGeometry(150, 81, 222, 21);
    editPassword->setEchoMode(QLineEdit::Password);
    cmdAuthorize = new QPushButton(this);
    cmdAuthorize->setObjectName("cmdAuthorize");
    cmdAuthorize->setGeometry(233, 125, 75, 25);
    cmdAuthorize->setDefault(true);
    cmdCancel = new QPushButton(this);
    cmdCancel->setObjectName("cmdCancel");
    cmdCancel->setGeometry(309, 125, 75, 25);
    setTabOrder(editUser, editPassword);
    setTabOrder(editPassword, cmdAuthorize);
    setTabOrder(cmdAuthorize, cmdCancel);
    connect(cmdAuthorize, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    ApplyTexts(); // FormCreate
}

void TFrmGetAuthentication::FormShow(QObject* sender) {
    if (!sender) ApplyTexts();
}

void TFrmGetAuthentication::ApplyTexts() {
    setWindowTitle(LT("AuthentForm.Caption"));
    lblUser->setText(LT("AuthentForm.User"));
    lblPassword->setText(LT("AuthentForm.Password"));
    cmdAuthorize->setText(LT("AuthentForm.Authorize"));
    cmdCancel->setText(LT("AuthentForm.Cancel"));
}

bool AskCredentialsDialog(const std::string& realm, std::string& user, std::string& password,
                          QWidget* parent) {
    TFrmGetAuthentication dlg(parent);
    dlg.lblBasicRealm->setText(ScreenText(realm));
    dlg.editUser->setText(ScreenText(user));
    dlg.editPassword->setText(ScreenText(password));
    if (dlg.exec() != QDialog::Accepted) return false;
    user = InternalText(dlg.editUser->text());
    password = InternalText(dlg.editPassword->text());
    return true;
}

#pragma once
// The credentials prompt for a Basic realm: shows texts and returns how it
// was closed; the caller fills and reads the fields.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TFrmGetAuthentication : public QDialog {
    Q_OBJECT
public:
    explicit TFrmGetAuthentication(QWidget* parent = nullptr);

    // Re-applies the texts only when called without a sender.
    void FormShow(QObject* sender);

    QLabel* lblBasicRealm;
    QLabel* lblUser;
    QLineEdit* editUser;
    QLabel* lblPassword;
    QLineEdit* editPassword;
    QPushButton* cmdAuthorize;
    QPushButton* cmdCancel;

private:
    void ApplyTexts();
};

// Asks for the credentials of `realm` with the fields pre-filled; true and the
// typed texts (Windows-1252) on Authorize.
bool AskCredentialsDialog(const std::string& realm, std::string& user, std::string& password,
                          QWidget* parent = nullptr);

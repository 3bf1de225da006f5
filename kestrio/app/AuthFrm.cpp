#include "kestrio/app/AuthFrm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrio {

TAuthForm::TAuthForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Kestrio - Enter Network Password");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    auto* top = new QVBoxLayout(this);
    top->addWidget(new QLabel("Please type your user name and password."));
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Site"), 0, 0);
    lblSite = new QLabel;
    grid->addWidget(lblSite, 0, 1);
    edUser = new QLineEdit;
    edPass = new QLineEdit;
    edPass->setEchoMode(QLineEdit::Password);
    auto* userLabel = new QLabel("&User Name");
    userLabel->setBuddy(edUser);
    auto* passLabel = new QLabel("&Password");
    passLabel->setBuddy(edPass);
    grid->addWidget(userLabel, 1, 0);
    grid->addWidget(edUser, 1, 1);
    grid->addWidget(passLabel, 2, 0);
    grid->addWidget(edPass, 2, 1);
    top->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnOk = new QPushButton("Ok");
    btnOk->setDefault(true);
    btnCancel = new QPushButton("Cancel");
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    top->addLayout(buttons);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TAuthForm::done(int result) {
    if (result != QDialog::Rejected) {
        for (QLineEdit* e : {edUser, edPass}) {
            if (e->text().isEmpty()) {
                e->setFocus();
                QApplication::beep();
                return;
            }
        }
    }
    QDialog::done(result);
}

void TAuthForm::closeEvent(QCloseEvent* e) {
    // The window's own close is a cancel.
    e->ignore();
    reject();
}

} // namespace kestrio

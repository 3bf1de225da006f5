#include "kestrio/app/MainFrm.h"

#include "kestrio/app/AuthFrm.h"
#include "kestrio/capture/ToolsUnit.h"
#include "platform/Cp1252.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace kestrio {

using platform::Cp1252ToQString;
using platform::QStringToCp1252;

TMainForm::TMainForm(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(Cp1252ToQString(PageTitle));
    auto* top = new QVBoxLayout(this);
    Animate1 = new QProgressBar;
    Animate1->setRange(0, 0); // activity while the window is up
    Animate1->setTextVisible(false);
    Animate1->setMaximumHeight(8);
    top->addWidget(Animate1);
    lblURL = new QLabel;
    lblURL->setFixedWidth(360);
    top->addWidget(lblURL);
    pbGet = new QProgressBar;
    pbGet->setTextVisible(false);
    top->addWidget(pbGet);
    lblStatus = new QLabel;
    top->addWidget(lblStatus);
    auto* buttons = new QHBoxLayout;
    btnSkip = new QPushButton("S&kip");
    btnSkip->setToolTip("Skip current file");
    btnStop = new QPushButton("&Stop");
    btnStop->setToolTip("Stop download and relink files");
    btnAbort = new QPushButton("&Abort");
    btnAbort->setToolTip("Abort download");
    for (QPushButton* b : {btnSkip, btnStop, btnAbort}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    top->addLayout(buttons);

    ShowError = [this](const QString& m) { QMessageBox::critical(this, "Kestrio", m); };
    AskCredentials =
        [this](const std::string& site) -> std::optional<std::pair<std::string, std::string>> {
        TAuthForm prompt(this);
        prompt.lblSite->setText(Cp1252ToQString(site));
        if (prompt.exec() != QDialog::Accepted) return std::nullopt;
        return std::make_pair(QStringToCp1252(prompt.edUser->text()),
                              QStringToCp1252(prompt.edPass->text()));
    };

    Walk.OnChanged = [this] { Refresh(); };
    Walk.OnError = [this](const std::string& m) { ShowError(Cp1252ToQString(m)); };
    Walk.OnNeedAuth = [this](const std::string& site) { return AskCredentials(site); };
    Walk.OnClose = [this] { done(QDialog::Accepted); };
    connect(btnSkip, &QPushButton::clicked, this, [this] { Walk.btnSkipClick(); });
    connect(btnStop, &QPushButton::clicked, this, [this] { Walk.btnStopClick(); });
    connect(btnAbort, &QPushButton::clicked, this, [this] { Walk.btnAbortClick(); });
}

void TMainForm::Refresh() {
    pbGet->setMaximum(std::max(Walk.Maximum, 1));
    pbGet->setValue(std::min(Walk.Position, pbGet->maximum()));
    lblStatus->setText(Cp1252ToQString(Walk.StatusText));
    lblURL->setText(Cp1252ToQString(Walk.URLText));
    lblURL->setToolTip(Cp1252ToQString(Walk.URLHint));
    if (QWidget* w = parentWidget()) w->setWindowTitle(Cp1252ToQString(Walk.AppTitle));
}

void TMainForm::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (started_) return;
    started_ = true;
    Walk.FormShow();
}

} // namespace kestrio

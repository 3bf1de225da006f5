#include "jobs/FormJobComplete.h"

#include "desktop/FormTexts.h"
#include "storage/UnitLogFiles.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TFrmJobComplete::TFrmJobComplete(QWidget* parent) : QDialog(parent) {
    setObjectName("FrmJobComplete");
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    if (parent) setWindowIcon(parent->windowIcon());
    setModal(false);
    ListURLs = new QListWidget(this);
    ListURLs->setObjectName("ListURLs");
    ChkNotShowAgain = new QCheckBox(this);
    ChkNotShowAgain->setObjectName("ChkNotShowAgain");
    cmdClose = new QPushButton(this);
    cmdClose->setObjectName("cmdClose");
    cmdClose->setDefault(true);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ChkNotShowAgain);
    bottom->addStretch();
    bottom->addWidget(cmdClose);
    auto* all = new QVBoxLayout(this);
    all->addWidget(ListURLs);
    all->addLayout(bottom);
    setFixedSize(460, 230);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject); // default and cancel
    ApplyTexts();
}

void TFrmJobComplete::FormShow(QObject* sender) {
    if (!sender) ApplyTexts();
}

void TFrmJobComplete::ApplyTexts() {
    setWindowTitle(LT("JobCompleteForm.Caption"));
    ChkNotShowAgain->setText(LT("JobCompleteForm.NotShowAgain"));
    cmdClose->setText(LT("JobCompleteForm.Close"));
}

void TFrmJobComplete::AddCompletedURL(const std::string& url) {
    if (!SettingsFile || !SettingsFile->ReadBool("Main", "ShowJobComplete", false)) return;
    ListURLs->addItem(ScreenText(url));
    show();
    raise();
    activateWindow();
}

void TFrmJobComplete::done(int result) {
    ListURLs->clear();
    if (ChkNotShowAgain->isChecked() && SettingsFile)
        SettingsFile->WriteBool("Main", "ShowJobComplete", false);
    QDialog::done(result);
}

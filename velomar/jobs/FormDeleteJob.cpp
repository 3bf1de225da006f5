#include "jobs/FormDeleteJob.h"

#include "desktop/FormTexts.h"
#include "jobs/UnitJobFiles.h"
#include "jobs/UnitJobManagement.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TFrmDeleteJob::TFrmDeleteJob(QWidget* parent) : QDialog(parent) {
    setObjectName("FrmDeleteJob");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    if (parent) setWindowIcon(parent->windowIcon());
    LblConfirmation = new QLabel(this);
    LblConfirmation->setWordWrap(true);
    ChkDeleteFile = new QCheckBox(this);
    ChkDeleteFile->setObjectName("ChkDeleteFile");
    ChkDeletePartiallyFile = new QCheckBox(this);
    ChkDeletePartiallyFile->setObjectName("ChkDeletePartiallyFile");
    ChkDeletePartiallyFile->setChecked(true);
    cmdOK = new QPushButton(this);
    cmdOK->setObjectName("cmdOK");
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(this);
    cmdCancel->setObjectName("cmdCancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* all = new QVBoxLayout(this);
    all->addWidget(LblConfirmation);
    all->addSpacing(6);
    all->addWidget(ChkDeleteFile);
    all->addWidget(ChkDeletePartiallyFile);
    all->addSpacing(6);
    all->addLayout(buttons);
    all->setSizeConstraint(QLayout::SetFixedSize); // cannot be resized
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    ApplyTexts();
}

void TFrmDeleteJob::FormShow(QObject* sender) {
    if (!sender) ApplyTexts();
}

void TFrmDeleteJob::ApplyTexts() {
    setWindowTitle(LT("DeleteJobForm.Caption"));
    LblConfirmation->setText(LT("DeleteJobForm.Confirmation"));
    ChkDeleteFile->setText(LT("DeleteJobForm.DeleteFile"));
    ChkDeletePartiallyFile->setText(LT("DeleteJobForm.DeletePartialFile"));
    cmdOK->setText(LT("DeleteJobForm.OK"));
    cmdCancel->setText(LT("DeleteJobForm.Cancel"));
}

bool DeleteJobsDialog(const std::vector<TJobItem*>& jobs, QWidget* parent) {
    if (jobs.empty()) return false;
    TFrmDeleteJob dlg(parent);
    if (dlg.exec() != QDialog::Accepted) return false;
    const bool complete = dlg.ChkDeleteFile->isChecked();
    const bool partial = dlg.ChkDeletePartiallyFile->isChecked();
    for (TJobItem* job : jobs) {
        DeleteJobFiles(*job, complete, partial);
        JobManager->RemoveJob(job);
    }
    return true;
}

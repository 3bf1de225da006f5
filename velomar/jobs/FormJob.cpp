#include "jobs/FormJob.h"

#include "desktop/FormTexts.h"
#include "engine/UnitTargetFile.h"
#include "jobs/UnitJobManagement.h"
#include "storage/UnitLogFiles.h"

#include <QCheckBox>
#include <QCursor>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

std::function<QString(QWidget*, const QString&)> TFrmJob::ChooseFile = [](QWidget* parent,
                                                                          const QString& proposed) {
    return QFileDialog::getSaveFileName(parent, QString(), proposed);
};

namespace {

QLabel* Label(QWidget* parent) {
    return new QLabel(parent);
}

QLineEdit* Edit(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    return e;
}

QSpinBox* Spin(QWidget* parent, const char* name) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(name);
    s->setRange(1, 15);
    return s;
}

} // namespace

TFrmJob::TFrmJob(QWidget* parent) : QDialog(parent) {
    setObjectName("FrmJob");
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    resize(470, 330);

    Pages = new QTabWidget(this);
    TabJob = new QWidget;
    TabJob->setObjectName("TabJob");
    TabConnection = new QWidget;
    TabConnection->setObjectName("TabConnection");
    Pages->addTab(TabJob, QString());
    Pages->addTab(TabConnection, QString());

    grpFile = new QGroupBox(TabJob);
    auto* file = new QFormLayout(grpFile);
    lblURL = Label(grpFile);
    editURL = Edit(grpFile, "editURL");
    file->addRow(lblURL, editURL);
    lblDownloadDirectory = Label(grpFile);
    editDownloadDirectory = Edit(grpFile, "editDownloadDirectory");
    cmdPromptDownloadDirectory = new QPushButton("...", grpFile);
    cmdPromptDownloadDirectory->setObjectName("cmdPromptDownloadDirectory");
    cmdPromptDownloadDirectory->setFixedWidth(28);
    auto* dirRow = new QHBoxLayout;
    dirRow->addWidget(editDownloadDirectory);
    dirRow->addWidget(cmdPromptDownloadDirectory);
    file->addRow(lblDownloadDirectory, dirRow);
    lblSaveAs = Label(grpFile);
    editSaveAs = Edit(grpFile, "editSaveAs");
    file->addRow(lblSaveAs, editSaveAs);
    lblComment = Label(grpFile);
    editComment = Edit(grpFile, "editComment");
    file->addRow(lblComment, editComment);

    grpMisc = new QGroupBox(TabJob);
    auto* misc = new QHBoxLayout(grpMisc);
    lblSockets = Label(grpMisc);
    spinSockets = Spin(grpMisc, "spinSockets");
    lblPriority = Label(grpMisc);
    spinPriority = Spin(grpMisc, "spinPriority");
    misc->addWidget(lblSockets);
    misc->addWidget(spinSockets);
    misc->addSpacing(24);
    misc->addWidget(lblPriority);
    misc->addWidget(spinPriority);
    misc->addStretch();

    auto* jobPage = new QVBoxLayout(TabJob);
    jobPage->addWidget(grpFile);
    jobPage->addWidget(grpMisc);
    jobPage->addStretch();

    grpAuthentication = new QGroupBox(TabConnection);
    auto* auth = new QFormLayout(grpAuthentication);
    chkUseCustomAuthentication = new QCheckBox(grpAuthentication);
    chkUseCustomAuthentication->setObjectName("chkUseCustomAuthentication");
    auth->addRow(chkUseCustomAuthentication);
    lblUser = Label(grpAuthentication);
    editUser = Edit(grpAuthentication, "editUser");
    auth->addRow(lblUser, editUser);
    lblPassword = Label(grpAuthentication);
    editPassword = Edit(grpAuthentication, "editPassword");
    editPassword->setEchoMode(QLineEdit::Password);
    auth->addRow(lblPassword, editPassword);
    auto* connPage = new QVBoxLayout(TabConnection);
    connPage->addWidget(grpAuthentication);
    connPage->addStretch();

    cmdClose = new QPushButton(this);
    cmdClose->setObjectName("cmdClose");
    cmdClose->setDefault(true);
    cmdCancel = new QPushButton(this);
    cmdCancel->setObjectName("cmdCancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    buttons->addWidget(cmdCancel);
    auto* all = new QVBoxLayout(this);
    all->addWidget(Pages);
    all->addLayout(buttons);

    MenuDownloadDirectory = new QMenu(this);
    mnuLastDir = MenuDownloadDirectory->addAction(QString());
    mnuDefaultDir = MenuDownloadDirectory->addAction(QString());
    mnuSelectDir = MenuDownloadDirectory->addAction(QString());
    connect(mnuLastDir, &QAction::triggered, this, &TFrmJob::mnuLastDirClick);
    connect(mnuDefaultDir, &QAction::triggered, this, &TFrmJob::mnuDefaultDirClick);
    connect(mnuSelectDir, &QAction::triggered, this, &TFrmJob::mnuSelectDirClick);
    connect(cmdPromptDownloadDirectory, &QPushButton::clicked, this,
            [this] { MenuDownloadDirectory->popup(QCursor::pos()); });
    connect(chkUseCustomAuthentication, &QCheckBox::clicked, this,
            &TFrmJob::UpdateAuthenticationFields);
    connect(cmdClose, &QPushButton::clicked, this, &TFrmJob::cmdCloseClick);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    editURL->setFocus();
}

void TFrmJob::FormShow(QObject* sender) {
    if (!sender) ApplyTexts();
}

void TFrmJob::ApplyTexts() {
    setWindowTitle(LT("JobForm.Caption"));
    Pages->setTabText(0, LT("JobForm.TabJobCaption"));
    Pages->setTabText(1, LT("JobForm.Connection.Caption"));
    grpFile->setTitle(LT("JobForm.File"));
    grpMisc->setTitle(LT("JobForm.Misc"));
    grpAuthentication->setTitle(LT("JobForm.Connection.Authentication"));
    lblURL->setText(LT("JobForm.URL"));
    lblDownloadDirectory->setText(LT("JobForm.DownloadDirectory"));
    lblSaveAs->setText(LT("JobForm.Rename"));
    lblComment->setText(LT("JobForm.Comment"));
    lblSockets->setText(LT("JobForm.Engines"));
    lblPriority->setText(LT("JobForm.Priority"));
    chkUseCustomAuthentication->setText(LT("JobForm.Connection.UseCustomAuthentication"));
    lblUser->setText(LT("JobForm.Connection.User"));
    lblPassword->setText(LT("JobForm.Connection.Password"));
    cmdClose->setText(LT("JobForm.Close"));
    cmdCancel->setText(LT("JobForm.Cancel"));
    mnuLastDir->setText(LT("JobForm.LastDir"));
    mnuDefaultDir->setText(LT("JobForm.DefaultDir"));
    mnuSelectDir->setText(LT("JobForm.SelectDir"));
}

void TFrmJob::LoadFrom(TJobItem& job) {
    editURL->setText(ScreenText(job.ReadString("URL")));
    editDownloadDirectory->setText(ScreenText(job.ReadString("DownloadDirectory")));
    editSaveAs->setText(ScreenText(job.ReadString("SaveAs")));
    editComment->setText(ScreenText(job.ReadString("Comment")));
    spinSockets->setValue(static_cast<int>(job.ReadInteger("Sockets")));
    spinPriority->setValue(static_cast<int>(job.ReadInteger("Priority")));
    chkUseCustomAuthentication->setChecked(job.ReadBool("UseCustomAuthentication"));
    editUser->setText(ScreenText(job.ReadString("Authentication.UserID")));
    editPassword->setText(ScreenText(job.ReadString("Authentication.UserPwd")));
    UpdateAuthenticationFields();
}

void TFrmJob::StoreTo(TJobItem& job) {
    job.WriteString("URL", InternalText(editURL->text()));
    job.WriteString("DownloadDirectory", InternalText(editDownloadDirectory->text()));
    job.WriteString("SaveAs", InternalText(editSaveAs->text()));
    job.WriteString("Comment", InternalText(editComment->text()));
    job.WriteInteger("Sockets", spinSockets->value());
    job.WriteInteger("Priority", spinPriority->value());
    job.WriteBool("UseCustomAuthentication", chkUseCustomAuthentication->isChecked());
    job.WriteString("Authentication.UserID", InternalText(editUser->text()));
    job.WriteString("Authentication.UserPwd", InternalText(editPassword->text()));
}

void TFrmJob::UpdateAuthenticationFields() {
    const bool on = chkUseCustomAuthentication->isChecked();
    for (QLineEdit* e : {editUser, editPassword}) {
        e->setReadOnly(!on);
        QPalette pal = e->palette();
        pal.setColor(QPalette::Base, palette().color(on ? QPalette::Base : QPalette::Button));
        e->setPalette(pal);
    }
}

void TFrmJob::cmdCloseClick() {
    if (SettingsFile)
        SettingsFile->WriteString("Main", "LastDir", InternalText(editDownloadDirectory->text()));
    accept();
}

void TFrmJob::mnuLastDirClick() {
    if (SettingsFile)
        editDownloadDirectory->setText(ScreenText(SettingsFile->ReadString("Main", "LastDir", "")));
}

void TFrmJob::mnuDefaultDirClick() {
    if (SettingsFile)
        editDownloadDirectory->setText(
            ScreenText(SettingsFile->ReadString("Main", "DownloadDirectory", "")));
}

QString TFrmJob::ProposedFileName(const QString& dir, const QString& saveAs, const QString& url) {
    QString name = dir;
    if (!name.endsWith('/')) name += '/';
    return name + (saveAs.isEmpty() ? url.mid(url.lastIndexOf('/') + 1) : saveAs);
}

void TFrmJob::mnuSelectDirClick() {
    const QString proposed =
        ProposedFileName(editDownloadDirectory->text(), editSaveAs->text(), editURL->text());
    ForceDirectories(InternalText(editDownloadDirectory->text())); // failure ignored
    // The save dialog is a child of this one, so it stays above it although
    // this dialog stays on top.
    const QString chosen = ChooseFile(this, proposed);
    if (chosen.isEmpty()) return;
    const QFileInfo info(chosen);
    QString folder = info.absolutePath();
    if (!folder.endsWith('/')) folder += '/';
    editDownloadDirectory->setText(folder);
    editSaveAs->setText(info.fileName());
}

bool EditJobDialog(TJobItem& job, bool fromOutside, QWidget* parent) {
    TFrmJob dlg(parent);
    dlg.LoadFrom(job);
    bool accepted = true;
    if (!fromOutside || (SettingsFile && SettingsFile->ReadBool("Main", "ShowAddURL", false))) {
        dlg.ApplyTexts();
        accepted = dlg.exec() == QDialog::Accepted;
    }
    if (accepted) dlg.StoreTo(job);
    return accepted;
}

std::unique_ptr<TJobItem> NewJobDialog(const std::string& url, const std::string& comment,
                                       bool fromOutside, const std::string& referer,
                                       QWidget* parent) {
    std::unique_ptr<TJobItem> job = JobManager->NewJob(url, comment, referer);
    if (!EditJobDialog(*job, fromOutside, parent)) return nullptr; // frees it, section gone
    return job;
}

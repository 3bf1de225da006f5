#pragma once
// The job dialog: confirms a new job or edits an existing one.
#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QTabWidget;
class TJobItem;

class TFrmJob : public QDialog {
    Q_OBJECT
public:
    explicit TFrmJob(QWidget* parent = nullptr);

    void FormShow(QObject* sender); // without a sender: re-apply the texts
    void ApplyTexts();
    void LoadFrom(TJobItem& job);
    void StoreTo(TJobItem& job);
    // Read-only with the button-face colour unless the check box is checked.
    void UpdateAuthenticationFields();

    void mnuLastDirClick();
    void mnuDefaultDirClick();
    void mnuSelectDirClick();

    // The name the save dialog proposes: the folder with a trailing
    // delimiter, then the rename text or else the URL's last segment.
    static QString ProposedFileName(const QString& dir, const QString& saveAs, const QString& url);
    // The save dialog; replaceable so that the flow can be driven without one.
    static std::function<QString(QWidget* parent, const QString& proposed)> ChooseFile;

    QTabWidget* Pages;
    QWidget* TabJob;
    QWidget* TabConnection;
    QGroupBox *grpFile, *grpMisc, *grpAuthentication;
    QLabel *lblURL, *lblDownloadDirectory, *lblSaveAs, *lblComment, *lblSockets, *lblPriority;
    QLabel *lblUser, *lblPassword;
    QLineEdit *editURL, *editDownloadDirectory, *editSaveAs, *editComment;
    QPushButton* cmdPromptDownloadDirectory;
    QSpinBox *spinSockets, *spinPriority;
    QCheckBox* chkUseCustomAuthentication;
    QLineEdit *editUser, *editPassword;
    QPushButton *cmdClose, *cmdCancel;
    QMenu* MenuDownloadDirectory;
    QAction *mnuLastDir, *mnuDefaultDir, *mnuSelectDir;

private:
    void cmdCloseClick();
};

// Shows (or, from outside with "ShowAddURL" false, skips) the dialog for
// `job` and writes the fields back when accepted; true when accepted.
bool EditJobDialog(TJobItem& job, bool fromOutside, QWidget* parent = nullptr);
// NewJob followed by EditJobDialog; null (and no section left) when not
// accepted. The caller appends the job.
std::unique_ptr<TJobItem> NewJobDialog(const std::string& url, const std::string& comment,
                                       bool fromOutside, const std::string& referer,
                                       QWidget* parent = nullptr);

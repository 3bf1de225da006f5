#pragma once
// The delete confirmation, which also offers to delete the job's files.
#include <QDialog>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class TJobItem;

class TFrmDeleteJob : public QDialog {
    Q_OBJECT
public:
    explicit TFrmDeleteJob(QWidget* parent = nullptr);
    void FormShow(QObject* sender);
    void ApplyTexts();

    QLabel* LblConfirmation;
    QCheckBox* ChkDeleteFile;
    QCheckBox* ChkDeletePartiallyFile;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
};

// The delete flow over `jobs` (the selected rows, last row first): asks, then
// deletes the files asked for and removes each job from the list. False when
// the user cancelled (nothing changed). The caller runs the queue pass and
// rebuilds its list.
bool DeleteJobsDialog(const std::vector<TJobItem*>& jobs, QWidget* parent = nullptr);

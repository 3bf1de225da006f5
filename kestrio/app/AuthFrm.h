#pragma once
// The network password prompt of the download window.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrio {

class TAuthForm : public QDialog {
    Q_OBJECT
public:
    explicit TAuthForm(QWidget* parent = nullptr);

    QLabel* lblSite;
    QLineEdit* edUser;
    QLineEdit* edPass;
    QPushButton* btnOk;
    QPushButton* btnCancel;

    // Closing with OK needs both edits filled; the empty one gets the focus
    // and the beep and the prompt stays. Cancel always closes.
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* e) override;
};

} // namespace kestrio

#pragma once
// The download window: a view over TDownloadWalk, shown modally by "&Start".
#include "kestrio/app/DownloadWalk.h"

#include <QDialog>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace kestrio {

class TMainForm : public QDialog {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);

    TDownloadWalk Walk;

    QProgressBar* Animate1;
    QLabel* lblURL;
    QProgressBar* pbGet;
    QLabel* lblStatus;
    QPushButton* btnSkip;
    QPushButton* btnStop;
    QPushButton* btnAbort;

    // The platform's default error box; tests replace it.
    std::function<void(const QString&)> ShowError;
    // The credentials prompt; tests replace it. Returns the user's choice.
    std::function<std::optional<std::pair<std::string, std::string>>(const std::string& site)>
        AskCredentials;

    // Only the walk closes the window (there is no close button).
    void reject() override {}

protected:
    void showEvent(QShowEvent* e) override;

private:
    void Refresh();
    bool started_ = false;
};

} // namespace kestrio

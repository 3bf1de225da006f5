#pragma once
// The download-complete notice: a window that gathers the URLs of finished
// downloads until the user closes it.
#include <QDialog>
#include <string>

class QCheckBox;
class QListWidget;
class QPushButton;

class TFrmJobComplete : public QDialog {
    Q_OBJECT
public:
    explicit TFrmJobComplete(QWidget* parent = nullptr);
    void FormShow(QObject* sender);
    void ApplyTexts();

    // With "ShowJobComplete" on: lists `url`, shows the window and brings the
    // program to the front; otherwise nothing.
    void AddCompletedURL(const std::string& url);

    QListWidget* ListURLs;
    QCheckBox* ChkNotShowAgain;
    QPushButton* cmdClose;

protected:
    void done(int result) override; // every way of closing
};

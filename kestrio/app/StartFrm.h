#pragma once
// The save dialog, Kestrio's main window: a view over TStartDialog.
#include "kestrio/app/StartDialog.h"

#include <QWidget>
#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTreeWidget;

namespace kestrio {

class TMainForm;

class TStartForm : public QWidget, public IPageReceiver {
    Q_OBJECT
public:
    explicit TStartForm(QWidget* parent = nullptr);

    TStartDialog Logic;

    QTabWidget* PageControl1;
    QLineEdit* edFolder;
    QPushButton* btnFolder;
    QCheckBox* chbSubFolder;
    QLineEdit* edSubFolder;
    QCheckBox* chbImg;
    QPushButton* btnAll;
    QPushButton* btnInverse;
    QPushButton* btnInternal;
    QTreeWidget* LinksView;
    QCheckBox* chbGenDef;
    QPushButton* btnSave;
    QCheckBox* chbExter;
    QCheckBox* chbURL;
    QLineEdit* edURL;
    QGroupBox* rgrExt;
    QRadioButton* rgrItems[3];
    QLineEdit* edExt;
    QCheckBox* chbAdvDef;
    QLabel* Label5; // "Kestrio Home Page"
    QLabel* Label7; // "Kestrio E-mail"
    QPushButton* btnCancel;

    // Message boxes and the download window; tests replace them.
    std::function<void(const QString&)> ShowMessage;
    std::function<void(const QString&)> ShowError;
    std::function<void(TMainForm&)> RunDownloadWindow;

    void LoadPage(const platform::DomValue& W) override;
    void btnSaveClick();
    void btnCancelClick();

    // Copy between the widgets and Logic.
    void ControlsToLogic();
    void LogicToControls();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void PageControl1Changing(int index);
    bool shown_ = false;
    int lastTab_ = tabAbout;
    bool revertingTab_ = false;
};

} // namespace kestrio

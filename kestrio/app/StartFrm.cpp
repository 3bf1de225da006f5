#include "kestrio/app/StartFrm.h"

#include "kestrio/app/MainFrm.h"
#include "platform/Cp1252.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace kestrio {

using platform::Cp1252ToQString;
using platform::QStringToCp1252;

namespace {

QLabel* Link(const QString& text) {
    auto* l = new QLabel("<a href=\"#\">" + text + "</a>");
    l->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    return l;
}

} // namespace

TStartForm::TStartForm(QWidget* parent) : QWidget(parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowStaysOnTopHint);
    setWindowTitle("Kestrio");
    auto* top = new QVBoxLayout(this);
    PageControl1 = new QTabWidget;
    top->addWidget(PageControl1);

    // General options.
    auto* general = new QWidget;
    auto* g = new QGridLayout(general);
    g->addWidget(new QLabel("Destination folder"), 0, 0);
    edFolder = new QLineEdit;
    g->addWidget(edFolder, 0, 1);
    btnFolder = new QPushButton("...");
    btnFolder->setToolTip("Select destination folder");
    g->addWidget(btnFolder, 0, 2);
    chbSubFolder = new QCheckBox("Create subfolder");
    chbSubFolder->setToolTip("enable/disable create subfolder");
    g->addWidget(chbSubFolder, 1, 0);
    edSubFolder = new QLineEdit;
    edSubFolder->setEnabled(false);
    g->addWidget(edSubFolder, 1, 1, 1, 2);
    chbImg = new QCheckBox("Save pictures");
    g->addWidget(chbImg, 2, 0);
    auto* selButtons = new QHBoxLayout;
    btnAll = new QPushButton("Select All Links");
    btnInverse = new QPushButton("Inverse Selection");
    btnInternal = new QPushButton("Deselect external links");
    for (QPushButton* b : {btnAll, btnInverse, btnInternal})
        selButtons->addWidget(b);
    g->addLayout(selButtons, 3, 0, 1, 3);
    LinksView = new QTreeWidget;
    LinksView->setColumnCount(2);
    LinksView->setHeaderLabels({"URL", "Text"});
    LinksView->setRootIsDecorated(false);
    LinksView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    LinksView->header()->setSectionsClickable(false);
    g->addWidget(LinksView, 4, 0, 1, 3);
    chbGenDef = new QCheckBox("Save options as default");
    g->addWidget(chbGenDef, 5, 0, 1, 2);
    btnSave = new QPushButton("&Start");
    g->addWidget(btnSave, 5, 2);
    PageControl1->addTab(general, "General options");

    // Advanced options.
    auto* advanced = new QWidget;
    auto* a = new QVBoxLayout(advanced);
    chbExter = new QCheckBox("Do not save external pictures");
    a->addWidget(chbExter);
    chbURL = new QCheckBox(
        "Do not save pictures if their URL contain any of the keywords listed below.");
    a->addWidget(chbURL);
    edURL = new QLineEdit;
    edURL->setToolTip("Separate keywords with space; e.g., banner advertising");
    edURL->setEnabled(false);
    a->addWidget(edURL);
    rgrExt = new QGroupBox(" Linked files with extensions: ");
    auto* r = new QVBoxLayout(rgrExt);
    const char* items[3] = {
        "Download with Kestrio",
        "Download with default download manager (will not be relink to local file)",
        "Do not download "};
    for (int i = 0; i < 3; ++i) {
        rgrItems[i] = new QRadioButton(items[i]);
        r->addWidget(rgrItems[i]);
    }
    edExt = new QLineEdit;
    edExt->setToolTip("Separate extensions with space; e.g., zip rar exe");
    r->addWidget(edExt);
    a->addWidget(rgrExt);
    chbAdvDef = new QCheckBox("Save options as default");
    a->addWidget(chbAdvDef);
    a->addStretch(); // the radio items stay together at the top
    PageControl1->addTab(advanced, "Advanced options");

    // About Kestrio.
    auto* about = new QWidget;
    auto* ab = new QVBoxLayout(about);
    ab->addWidget(new QLabel("Kestrio"));
    ab->addWidget(new QLabel("Version 3.3"));
    Label5 = Link("Kestrio Home Page");
    Label7 = Link("Kestrio E-mail");
    ab->addWidget(Label5);
    ab->addWidget(Label7);
    ab->addStretch();
    PageControl1->addTab(about, "About Kestrio");
    PageControl1->setCurrentIndex(tabAbout);

    btnCancel = new QPushButton("Cancel");
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(btnCancel);
    top->addLayout(bottom);

    ShowMessage = [this](const QString& m) { QMessageBox::information(this, "Kestrio", m); };
    ShowError = [this](const QString& m) { QMessageBox::critical(this, "Kestrio", m); };
    RunDownloadWindow = [](TMainForm& f) { f.exec(); };
    Logic.Version.OnNewVersion = [this](const std::string& m) { ShowMessage(Cp1252ToQString(m)); };

    connect(PageControl1, &QTabWidget::currentChanged, this,
            [this](int i) { PageControl1Changing(i); });
    connect(chbSubFolder, &QCheckBox::toggled, edSubFolder, &QWidget::setEnabled);
    connect(chbURL, &QCheckBox::toggled, edURL, &QWidget::setEnabled);
    connect(chbGenDef, &QCheckBox::toggled, chbAdvDef, &QCheckBox::setChecked);
    connect(chbAdvDef, &QCheckBox::toggled, chbGenDef, &QCheckBox::setChecked);
    connect(btnFolder, &QPushButton::clicked, this, [this] {
        const QString d =
            QFileDialog::getExistingDirectory(this, "Select destination folder", edFolder->text());
        if (!d.isEmpty()) edFolder->setText(d);
    });
    auto rows = [this](void (TStartDialog::*step)()) {
        return [this, step] {
            ControlsToLogic();
            (Logic.*step)();
            LogicToControls();
        };
    };
    connect(btnAll, &QPushButton::clicked, this, rows(&TStartDialog::btnAllClick));
    connect(btnInverse, &QPushButton::clicked, this, rows(&TStartDialog::btnInverseClick));
    connect(btnInternal, &QPushButton::clicked, this, rows(&TStartDialog::btnInternalClick));
    connect(btnSave, &QPushButton::clicked, this, [this] { btnSaveClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    connect(Label5, &QLabel::linkActivated, this, [] {
        QDesktopServices::openUrl(QUrl(QString::fromStdString(HomePage(SystemLanguage()))));
    });
    connect(Label7, &QLabel::linkActivated, this,
            [] { QDesktopServices::openUrl(QUrl(QString("mailto:") + kSupportAddress)); });
}

void TStartForm::ControlsToLogic() {
    TStartDialog& d = Logic;
    d.edFolder = QStringToCp1252(edFolder->text());
    d.chbSubFolder = chbSubFolder->isChecked();
    d.edSubFolder = QStringToCp1252(edSubFolder->text());
    d.chbImg = chbImg->isChecked();
    d.chbExter = chbExter->isChecked();
    d.chbURL = chbURL->isChecked();
    d.edURL = QStringToCp1252(edURL->text());
    d.edExt = QStringToCp1252(edExt->text());
    d.chbGenDef = chbGenDef->isChecked();
    d.rgrExt = 0;
    for (int i = 0; i < 3; ++i)
        if (rgrItems[i]->isChecked()) d.rgrExt = i;
    d.URLColumnWidth = LinksView->columnWidth(0);
    d.TextColumnWidth = LinksView->columnWidth(1);
    for (int i = 0; i < LinksView->topLevelItemCount() && i < int(d.Rows.size()); ++i)
        d.Rows[size_t(i)].Checked = LinksView->topLevelItem(i)->checkState(0) == Qt::Checked;
}

void TStartForm::LogicToControls() {
    const TStartDialog& d = Logic;
    setWindowTitle(Cp1252ToQString(d.Caption));
    edFolder->setText(Cp1252ToQString(d.edFolder));
    chbSubFolder->setChecked(d.chbSubFolder);
    edSubFolder->setText(Cp1252ToQString(d.edSubFolder));
    edSubFolder->setEnabled(d.chbSubFolder);
    chbImg->setChecked(d.chbImg);
    chbExter->setChecked(d.chbExter);
    chbExter->setToolTip(Cp1252ToQString(d.chbExterHint));
    chbURL->setChecked(d.chbURL);
    edURL->setText(Cp1252ToQString(d.edURL));
    edURL->setEnabled(d.chbURL);
    edExt->setText(Cp1252ToQString(d.edExt));
    if (d.rgrExt >= 0 && d.rgrExt < 3) rgrItems[d.rgrExt]->setChecked(true);
    chbGenDef->setChecked(d.chbGenDef);
    LinksView->setColumnWidth(0, d.URLColumnWidth);
    LinksView->setColumnWidth(1, d.TextColumnWidth);
    LinksView->setUpdatesEnabled(false);
    if (LinksView->topLevelItemCount() != int(d.Rows.size())) {
        LinksView->clear();
        for (const TLinkRow& row : d.Rows)
            new QTreeWidgetItem(LinksView, {Cp1252ToQString(row.URL), Cp1252ToQString(row.Text)});
    }
    for (int i = 0; i < int(d.Rows.size()); ++i)
        LinksView->topLevelItem(i)->setCheckState(0, d.Rows[size_t(i)].Checked ? Qt::Checked
                                                                               : Qt::Unchecked);
    LinksView->setUpdatesEnabled(true);
    if (PageControl1->currentIndex() != d.ActiveTab) {
        revertingTab_ = true; // a change made by the program is no user's attempt
        PageControl1->setCurrentIndex(d.ActiveTab);
        revertingTab_ = false;
    }
    lastTab_ = PageControl1->currentIndex();
}

void TStartForm::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (shown_) return;
    shown_ = true;
    if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
    ControlsToLogic();
    Logic.FormShow();
    LogicToControls();
}

void TStartForm::LoadPage(const platform::DomValue& W) {
    ControlsToLogic();
    Logic.Rows.clear();
    LinksView->clear();
    Logic.LoadPage(W);
    LogicToControls();
}

void TStartForm::PageControl1Changing(int index) {
    if (revertingTab_) return;
    std::string message;
    if (!Logic.PageControl1Changing(message)) {
        revertingTab_ = true;
        PageControl1->setCurrentIndex(lastTab_);
        revertingTab_ = false;
        ShowMessage(Cp1252ToQString(message));
        return;
    }
    lastTab_ = index;
    Logic.ActiveTab = index;
}

void TStartForm::btnSaveClick() {
    ControlsToLogic();
    TStartDialog::StartHooks hooks;
    hooks.FocusFolderAndBeep = [this] {
        edFolder->setFocus();
        QApplication::beep();
    };
    hooks.Hide = [this] { hide(); };
    hooks.RunDownload = [this] {
        TMainForm form(this);
        RunDownloadWindow(form);
    };
    hooks.InformationSound = [] { QApplication::beep(); };
    try {
        Logic.btnSaveClick(hooks);
    } catch (const std::exception& e) {
        ShowError(Cp1252ToQString(e.what()));
        // The dialog comes back so that the user can correct or cancel.
        show();
    }
}

void TStartForm::btnCancelClick() {
    ControlsToLogic();
    Logic.btnCancelClick();
    close();
}

void TStartForm::closeEvent(QCloseEvent* e) {
    Logic.FormCloseQuery();
    e->accept();
}

} // namespace kestrio

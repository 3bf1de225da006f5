#pragma once
// The terms of use, accepted once: left only by its two buttons.
#include <QDialog>

class QPlainTextEdit;
class QPushButton;

class TFrmTerms : public QDialog {
    Q_OBJECT
public:
    explicit TFrmTerms(QWidget* parent = nullptr);
    void FormShow(QObject* sender);
    void ApplyTexts();

    QPlainTextEdit* txtTerms1; // shown when "TermID" is "1"
    QPlainTextEdit* txtTerms2; // shown when "TermID" is "2"
    QPushButton* cmdAgree;
    QPushButton* cmdDisagree;

public slots:
    void reject() override; // Escape and the window's close do not leave it
};

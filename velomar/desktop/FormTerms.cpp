#include "desktop/FormTerms.h"

#include "desktop/FormTexts.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char* const kTermsPortuguese =
    "TERMOS DE USO DO VELOMAR\n\n"
    "1. O Velomar é fornecido gratuitamente, no estado em que se encontra, sem garantia de "
    "qualquer tipo.\n\n"
    "2. Você é responsável pelos arquivos que baixa e pelo respeito aos direitos de quem os "
    "publica.\n\n"
    "3. O programa pode consultar o site do fabricante em busca de atualizações e notícias e "
    "enviar relatórios de uso anônimos; isso pode ser desligado nas preferências.\n\n"
    "4. Em nenhum caso o fabricante responde por perdas ou danos causados pelo uso do "
    "programa.\n\n"
    "Ao clicar em \"Concordo\" você aceita estes termos.";

const char* const kTermsEnglish =
    "VELOMAR TERMS OF USE\n\n"
    "1. Velomar is provided free of charge, as it is, without warranty of any kind.\n\n"
    "2. You are responsible for the files you download and for respecting the rights of "
    "those who publish them.\n\n"
    "3. The program may contact its maker's web site to look for updates and news and may "
    "send anonymous usage reports; this can be turned off in the preferences.\n\n"
    "4. In no event is the maker liable for any loss or damage caused by the use of the "
    "program.\n\n"
    "By clicking \"Agree\" you accept these terms.";

QPlainTextEdit* TermsText(QWidget* parent, const char* name, const char* text) {
    auto* t = new QPlainTextEdit(parent);
    t->setObjectName(name);
    t->setReadOnly(true);
    t->setPlainText(QString::fromUtf8(text));
    return t;
}

} // namespace

TFrmTerms::TFrmTerms(QWidget* parent) : QDialog(parent) {
    setObjectName("FrmTerms");
    // No border icons: only the two buttons leave it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    resize(480, 360);
    txtTerms1 = TermsText(this, "txtTerms1", kTermsPortuguese);
    txtTerms2 = TermsText(this, "txtTerms2", kTermsEnglish);
    cmdAgree = new QPushButton(this);
    cmdAgree->setObjectName("cmdAgree");
    cmdDisagree = new QPushButton(this);
    cmdDisagree->setObjectName("cmdDisagree");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdAgree);
    buttons->addWidget(cmdDisagree);
    auto* all = new QVBoxLayout(this);
    all->addWidget(txtTerms1);
    all->addWidget(txtTerms2);
    all->addLayout(buttons);
    connect(cmdAgree, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdDisagree, &QPushButton::clicked, this, [this] { done(Rejected); });
    ApplyTexts();
}

void TFrmTerms::FormShow(QObject* sender) {
    if (!sender) ApplyTexts();
}

void TFrmTerms::ApplyTexts() {
    setWindowTitle(LT("LicenseForm.Caption"));
    cmdAgree->setText(LT("LicenseForm.Agree"));
    cmdDisagree->setText(LT("LicenseForm.Disagree"));
    const std::string id = LangText("TermID");
    txtTerms1->setVisible(id == "1");
    txtTerms2->setVisible(id == "2");
}

void TFrmTerms::reject() {}

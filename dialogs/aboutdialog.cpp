#include "aboutdialog.h"

#include "ui_aboutdialog.h"

AboutDialog::AboutDialog(QWidget *parent) : QDialog(parent), ui(new Ui_AboutDialog)
{
    ui->setupUi(this);
    ui->aboutLabel->setText(
        QStringLiteral("Welcome to Taldrex Corvane Client Terminal\nVersion %1").arg(QStringLiteral("1.1.8")));
    setWindowFlags(windowFlags() & ~(Qt::WindowContextHelpButtonHint | Qt::WindowCloseButtonHint));
}

AboutDialog::~AboutDialog()
{
    delete ui;
}

void AboutDialog::on_okButton_clicked()
{
    accept();
}

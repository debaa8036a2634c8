#pragma once

#include <QDialog>

class Ui_AboutDialog;

// The product's welcome line and version, with one OK button.
class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AboutDialog(QWidget *parent = nullptr);
    ~AboutDialog() override;

private slots:
    void on_okButton_clicked();

private:
    Ui_AboutDialog *ui;
};

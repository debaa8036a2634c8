#pragma once

#include "marketrecords.h"

#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>

class QListWidgetItem;
class SymbolDataStorage;
class Ui_ShowSymbolDialog;

// Shows or hides the broker's symbols in the market watch and reads each symbol's
// specification. Works on the store of its parent, the main window; ticks take effect at once.
class ShowSymbolDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ShowSymbolDialog(QWidget *parent);
    ~ShowSymbolDialog() override;

    // The rows of a symbol's specification table: field name and value as shown.
    static QList<QPair<QString, QString>> specificationRows(const SymbolSetting &setting);

private slots:
    void on_listWidget_itemChanged(QListWidgetItem *item);
    void on_listWidget_itemClicked(QListWidgetItem *item);
    void on_listWidget_currentItemChanged(QListWidgetItem *current);

private:
    SymbolDataStorage *store() const;
    void showSpecification(const QListWidgetItem *item);

    Ui_ShowSymbolDialog *ui;
};

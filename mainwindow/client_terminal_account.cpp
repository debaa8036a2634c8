// The account dialogs: demo sign-up, password change and the symbol list, and what the window
// keeps up to date when a password changes.
#include "client_terminal.h"
#include "ui_client_terminal.h"

#include "changepassworddlg.h"
#include "logindialog.h"
#include "new_order.h"
#include "opendemodlg.h"
#include "showsymboldialog.h"
#include "tradeclient.h"
#include "workspacefiles.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSettings>
#include <QTextStream>
#include <QUrl>

namespace {

// Rewrites the password of an account's saved "login" line, keeping its URL; an account
// without the file keeps none.
void replaceSavedLoginPassword(const QString &folder, qint64 account, const QString &password)
{
    if (folder.isEmpty())
        return;
    const QString path = QDir(folder).filePath(QStringLiteral("login"));
    QFile current(path);
    if (!current.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    const LoginDialog::LoginRecord record =
        LoginDialog::parseLoginLine(QTextStream(&current).readLine());
    current.close();

    QSaveFile file(path);
    if (!Workspace::keepForOwnerOnly(path) || !file.open(QIODevice::WriteOnly | QIODevice::Text))
        return;
    QTextStream out(&file);
    out << QStringLiteral("%1;%2;%3").arg(QString::number(account), password, record.url);
    out.flush();
    file.commit();
}

} // namespace

void Client_Terminal::setupAccountDialogs()
{
    openDemoDlg = new OpenDemoDlg(this);
    changePasswordDlg = new ChangePasswordDlg(tradeClient, this);
    connect(openDemoDlg, &OpenDemoDlg::relogin, this, &Client_Terminal::relogin);
    // Logged into the new demo account (or any other): the sign-up is over.
    connect(tradeClient, &TradeClient::loginSuccess, openDemoDlg, &QWidget::hide);
    connect(changePasswordDlg, &ChangePasswordDlg::passwordChanged, this,
            &Client_Terminal::onAccountPasswordChanged);
    connect(ui->actionOpenDemo, &QAction::triggered, this, &Client_Terminal::openDemoAction);
    connect(ui->actionChangePassword, &QAction::triggered, this, &Client_Terminal::changePasswordAction);
    connect(&symbolStore, &SymbolDataStorage::symbolSettingChanged, this,
            &Client_Terminal::onSymbolSettingChanged);
}

void Client_Terminal::openDemoAction()
{
    openDemoDlg->setServerList();
    openDemoDlg->show();
}

void Client_Terminal::changePasswordAction()
{
    changePasswordDlg->clearFields();
    changePasswordDlg->show();
}

void Client_Terminal::showSymbolDialog()
{
    ShowSymbolDialog dialog(this);
    dialog.exec();
}

void Client_Terminal::onSymbolSettingChanged()
{
    // An account without saved charts gets its default set once the symbols are known.
    if (ui->graphArea->subWindowList().isEmpty())
        openDefaultCharts();
    newOrder->setSymbolList(symbolStore.allSymbols());
}

void Client_Terminal::onAccountPasswordChanged(qint64 account, const QString &password)
{
    if (account != login || tradeClient->accountLogin() != account)
        return;
    // Every place that would log this account in again must hold the password the server
    // accepts now, or the next start or the next login through the dialog is refused.
    if (!savedPassword.isEmpty())
        savedPassword = password;
    if (loginDialog->login() == account)
        loginDialog->setPassword(password);
    loginDialog->updateSavedPassword(account, serverName, password);

    QSettings settings(QStringLiteral("Taldrex"), QStringLiteral("Client"));
    if (settings.value(QStringLiteral("account")).toString() == QString::number(account)
        && QUrl(settings.value(QStringLiteral("server")).toString()) == tradeClient->serverUrl()
        && !settings.value(QStringLiteral("word")).toString().isEmpty()
        && Workspace::keepForOwnerOnly(settings.fileName()))
        settings.setValue(QStringLiteral("word"), password);

    replaceSavedLoginPassword(Workspace::folderFor(serverName, account), account, password);
}

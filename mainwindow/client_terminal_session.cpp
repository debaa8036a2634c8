// Broker list, connecting and disconnecting, login completion and lost connections.
#include "client_terminal.h"
#include "ui_client_terminal.h"

#include "chartmanager.h"
#include "logindialog.h"
#include "new_order.h"
#include "symbolchartwidget.h"
#include "tradeclient.h"
#include "trademessages.h"

#include <QMdiArea>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QSound>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>

namespace {
constexpr int DisconnectedReminderMs = 5000;
}

void Client_Terminal::requestBrokerList()
{
    BrokerList::limitReply(brokerListManager->get(QNetworkRequest(QUrl(BrokerList::requestUrl(brokerListHost())))));
}

QList<ServerInfo> Client_Terminal::GetServerList()
{
    return serverList;
}

void Client_Terminal::onBrokerListReceived(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError)
        return;

    bool isArray = false;
    const QList<ServerInfo> servers = BrokerList::parse(reply->readAll(), &isArray);
    serverList.clear();
    if (!isArray)
        return;
    // The reply may come while the dialog is open: refilling it must not quietly swap the server
    // the trader chose for the list's first one, which OK would then log in to.
    const QString chosen = loginDialog->serverName();
    loginDialog->clearServers();
    bool chosenListed = false;
    for (const ServerInfo &server : servers) {
        loginDialog->addServer(server.name, server.ipaddr);
        serverList.append(server);
        chosenListed = chosenListed || server.name == chosen;
    }
    if (!chosen.isEmpty() && chosenListed)
        loginDialog->selectServer(chosen);
}

void Client_Terminal::on_actionLogin_to_Trade_Account_triggered()
{
    requestBrokerList();
    loginDialog->show();
}

void Client_Terminal::connectToBroker()
{
    const qint64 account = loginDialog->login();
    const QString password = loginDialog->password();
    const QString address = loginDialog->serverAddress();
    const QString name = loginDialog->serverName();
    if (account == 0 || password.isEmpty() || address.isEmpty())
        return;

    const QString url = BrokerList::tradeServerUrl(address);
    if (tradeClient->isCurrentSession(url, account, password, name))
        return; // the client keeps this connection untouched

    // The outgoing account is written while its charts and connection values still describe it.
    saveCurrentWorkspace();
    stopDisconnectedReminder();
    // Nothing prepared in the order dialog for the old session may go out under the new one,
    // also when only the address behind the same account and server name differs.
    newOrder->endAccountUse();
    const bool started = tradeClient->connectToServer(url, account, password, name);
    // Whatever connection ran is gone: until the new login is accepted the commands are those
    // of an offline terminal (a refused login must not leave Change Password enabled).
    updateComponents(false);
    if (started)
        clearUI();
}

void Client_Terminal::relogin(qint64 login, QString password, QString server)
{
    saveCurrentWorkspace();
    stopDisconnectedReminder();
    tradeClient->logout();
    updateComponents(false);
    loginDialog->setLogin(login);
    loginDialog->setPassword(password);
    loginDialog->selectServer(server);
    connectToBroker();
}

void Client_Terminal::disconnectToBroker()
{
    // With no account connected there is nothing to end and nothing to log out from.
    if (!tradeClient->isRunning())
        return;
    saveCurrentWorkspace();
    stopDisconnectedReminder();
    tradeClient->logout();
    updateComponents(false);
}

void Client_Terminal::stopDisconnectedReminder()
{
    disconnectedSoundTimer->stop();
}

void Client_Terminal::onLoginFailed()
{
    playSound(disconnectedSound);
    // Every refused attempt reports here; the trader needs one box, not a stack of them.
    if (loginFailBox && loginFailBox->isVisible())
        return;
    loginFailBox = new QMessageBox(QMessageBox::Critical, tr("Login fail"),
                                   tr("Connecting to trade server failed. Try again your login."),
                                   QMessageBox::Ok, this);
    loginFailBox->setAttribute(Qt::WA_DeleteOnClose);
    connect(loginFailBox, &QMessageBox::finished, this, [this](int result) {
        if (result == QMessageBox::Ok)
            on_actionLogin_to_Trade_Account_triggered();
    });
    loginFailBox->open();
}

void Client_Terminal::clearUI()
{
    ui->graphArea->closeAllSubWindows();
    for (QTableWidget *table : {ui->tradeTableWidget, ui->positionTableWidget, ui->dealTableWidget,
                                ui->orderTableWidget, ui->netTableWidget})
        table->setRowCount(0);
    positionStore.clear();
    workspaceLoaded = false;
}

void Client_Terminal::updateComponents(bool isLogin)
{
    ui->actionConnect->setEnabled(!isLogin);
    ui->actionDisconnect->setEnabled(isLogin);
    ui->actionChangePassword->setEnabled(isLogin);
    sessionUp = isLogin;
    // A reply on a later connection answers a later request: what the dialog still awaits now
    // is answered by none.
    if (!isLogin)
        newOrder->connectionEnded();
}

void Client_Terminal::requestAccountRefresh(qint64 login)
{
    // The whole account number: cut to 32 bits, an account above 2^31 would ask the server
    // about another account and never see its own positions.
    tradeClient->sendRequest(TradeMessages::accountRefreshAfterLoginRequest(login));
}

void Client_Terminal::onPlayDisconnectedSound()
{
    playSound(disconnectedSound);
}

void Client_Terminal::onLogin(QJsonObject obj)
{
    playSound(connectedSound);
    stopDisconnectedReminder();
    tradeClient->requestTradeHistory(-1);
    // The market-watch list as the trader left it, for a reconnection to keep (see below).
    const QStringList listed = symbolStore.symbolList();
    positionStore.clear();
    symbolStore.clear();

    const qint64 previousLogin = login;
    const QString previousServer = serverName;
    login = obj.value(QStringLiteral("login")).toVariant().toLongLong();
    clientName = obj.value(QStringLiteral("name")).toString();
    clientGroup = obj.value(QStringLiteral("group")).toString();
    serverName = tradeClient->accountServerName();
    // A login that did not go through the login dialog (a saved login, another caller of the
    // client) ends the order dialog's use here too: its ticket belongs to the old account.
    const bool sameAccount = login == previousLogin && serverName == previousServer;
    if (!sameAccount)
        newOrder->endAccountUse();
    // The client's own login after a dropped connection: this window has run the account since
    // its workspace was restored, and nothing of it was put away meanwhile.
    const bool reconnection = sameAccount && workspaceLoaded;
    // After a dropped connection the trader's symbol stays chosen, or F9 would open the order
    // dialog on whichever symbol it showed last while the market watch still highlights the
    // chosen row. Any other login starts with nothing chosen, and no row may look chosen then.
    if (reconnection) {
        selectionAwaitsSymbolList = !selectedSymbol.isEmpty();
    } else {
        selectionAwaitsSymbolList = false;
        forgetSelectedSymbol();
    }
    const QString password = tradeClient->accountPassword();

    chartManager->setAccount(login, serverName);
    newOrder->setAccountInfo(serverName, clientName);

    if (loginDialog->login() == login && loginDialog->isSavePassword()) {
        QSettings settings(QStringLiteral("Taldrex"), QStringLiteral("Client"));
        // The settings hold the password: for the owner's eyes only, or not written at all.
        if (Workspace::keepForOwnerOnly(settings.fileName())) {
            settings.setValue(QStringLiteral("account"), QString::number(login));
            settings.setValue(QStringLiteral("word"), password);
            settings.setValue(QStringLiteral("server"), tradeClient->serverUrl().toString());
            settings.setValue(QStringLiteral("server_name"), serverName);
        }
        savedPassword = password;
    } else if (!loginDialog->isSavePassword()) {
        savedPassword.clear();
    }

    // A request made while no socket was open went nowhere, the workspace saved at a lost
    // connection lists no chart opened after it, and the restore reloads only the first chart of
    // each symbol: every chart still open asks again, once, from its newest cached bar, so none
    // stays empty or keeps the gap of the outage.
    const QList<SymbolChartWidget *> open = chartWindows();
    QList<SymbolChartWidget *> reloaded;
    // A reconnection leaves the window as the trader left it. The workspace holds what it was
    // at the loss: laying the docks out again hides the market watch for a moment, and the focus
    // the trader's click left there falls to a chart, whose activation would choose its symbol
    // and tile the charts anew; and a chart closed during the outage would come back.
    if (reconnection)
        symbolStore.setSymbols(listed, false);
    else
        restoreLayout(login, serverName, &reloaded);
    for (SymbolChartWidget *chart : open) {
        if (!reloaded.contains(chart))
            chart->loadHistory();
    }
    if (ui->graphArea->subWindowList().isEmpty())
        openDefaultCharts();

    // One arg() call, so a '%' in the account holder's name stays text.
    setWindowTitle(QStringLiteral("%1(%2, %3)").arg(clientName, QString::number(login), serverName));
    requestAccountRefresh(login);
    updateComponents(true);
    workspaceLoaded = true;
}

void Client_Terminal::forgetSelectedSymbol()
{
    marketWatch->clearSelection();
    selectedSymbol.clear();
}

void Client_Terminal::onWebsocketClosed()
{
    if (!disconnectedSoundTimer->isActive() && tradeClient->isRunning()) {
        disconnectedSoundTimer->start(DisconnectedReminderMs);
        playSound(disconnectedSound);
    }
    updateComponents(false);
    saveCurrentWorkspace();
}

void Client_Terminal::saveCurrentWorkspace()
{
    if (!workspaceLoaded || login <= 0 || serverName.isEmpty())
        return;
    saveLayout(login, savedPassword, serverName, tradeClient->serverUrl().toString(), symbolStore.symbolList());
}

void Client_Terminal::autoLogin()
{
    QSettings settings(QStringLiteral("Taldrex"), QStringLiteral("Client"));
    const QString accountText = settings.value(QStringLiteral("account")).toString();
    const QString password = settings.value(QStringLiteral("word")).toString();
    const QString server = settings.value(QStringLiteral("server")).toString();
    const QString name = settings.value(QStringLiteral("server_name")).toString();

    bool ok = false;
    qint64 account = accountText.toLongLong(&ok, 10);
    if (!ok)
        account = 0;
    if (account != 0 && !server.isEmpty())
        tradeClient->connectToServer(server, account, password, name);
}

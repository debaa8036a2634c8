// The account dialogs against the simulated broker's account web service over real HTTP:
// demo sign-up, password change, and the symbol list on the window's own store.
#include "accountrequests.h"
#include "accountservice.h"
#include "brokerlistservice.h"
#include "changepassworddlg.h"
#include "client_terminal.h"
#include "logindialog.h"
#include "opendemodlg.h"
#include "showsymboldialog.h"
#include "simtradeserver.h"
#include "testmain.h"
#include "tradeclient.h"

#include <QtWidgets>
#include <functional>

namespace {

const QString ServerName = QStringLiteral("Taldrex-Sim");

// Closes every message box the code under test opens (they are modal and block), noting
// "title|text" of each. A box stays open until `mayClose` holds; `whenShown` runs once per box.
class BoxCatcher : public QObject
{
public:
    std::function<void()> whenShown;
    std::function<bool()> mayClose;
    QStringList seen;

    BoxCatcher()
    {
        connect(&timer, &QTimer::timeout, this, &BoxCatcher::poll);
        timer.start(10);
    }

private:
    void poll()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            if (!box || !box->isVisible())
                continue;
            if (!box->property("caught").toBool()) {
                box->setProperty("caught", true);
                seen << box->windowTitle() + QLatin1Char('|') + box->text();
                if (whenShown)
                    whenShown();
            }
            if (!mayClose || mayClose())
                box->button(QMessageBox::Ok)->click();
        }
    }

    QTimer timer;
};

// The simulated broker on a loopback address of its own: the trade server, the broker list on
// port 9000 naming it, and the account service on port 9004 of the same host. The ports are
// fixed, so the address is drawn at random and drawn again while another process holds it.
struct Broker
{
    QString host;
    simbroker::SimTradeServer trade;
    BrokerListService brokerList;
    simbroker::AccountService accounts{&trade};

    Broker()
    {
        trade.setLoginSnapshot(false);
        trade.addAccount(1001, QStringLiteral("pw1001"), 10000.0, QStringLiteral("First"));
        for (int attempt = 0; attempt < 100 && host.isEmpty(); ++attempt) {
            QRandomGenerator *random = QRandomGenerator::global();
            const QString candidate = QStringLiteral("127.%1.%2.%3")
                                          .arg(random->bounded(100, 200))
                                          .arg(random->bounded(1, 255))
                                          .arg(random->bounded(1, 255));
            const QHostAddress address(candidate);
            if (trade.listen(address, 0) && brokerList.listen(address, BrokerList::ServicePort)
                && accounts.listen(address, simbroker::AccountService::DefaultPort)) {
                host = candidate;
            } else {
                trade.close();
                brokerList.close();
                accounts.close();
            }
        }
        if (host.isEmpty())
            qFatal("no free loopback address for the simulated broker");
        brokerList.setReplyBody(QJsonDocument(QJsonArray{QJsonObject{
            {"servers", QJsonArray{QJsonObject{{"name", ServerName}, {"ipaddr", trade.address()}}}}}}).toJson());
        Client_Terminal::setBrokerListHost(host);
    }
};

template <typename T>
T *child(QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}

} // namespace

class TestAccountDialogs : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings(QStringLiteral("Taldrex"), QStringLiteral("Client")).clear();
        QDir(QStringLiteral("config")).removeRecursively();
        QGuiApplication::clipboard()->clear();
        broker = new Broker;
        client = new TradeClient;
        catcher = new BoxCatcher;
    }

    void cleanup()
    {
        delete std::exchange(window, nullptr);
        client->shutdown(3000);
        delete client;
        delete broker;
        delete catcher;
    }

    // Each check in its order, the first failure stopping the sign-up before anything is sent.
    void demoSignUpChecks_data()
    {
        QTest::addColumn<bool>("servers");
        QTest::addColumn<bool>("agree");
        QTest::addColumn<QStringList>("fields"); // first, last, e-mail, phone
        QTest::addColumn<QString>("message");    // empty: the request is sent
        const QStringList good{"Ann", "Lee", "ann@example.com", "555"};
        QTest::newRow("no servers") << false << true << good << "Server is not available";
        QTest::newRow("terms not accepted") << true << false << QStringList{"", "", "", ""}
                                            << "Please check accept button";
        QTest::newRow("first name of spaces") << true << true << QStringList{"  ", "Lee", "a@b", "5"}
                                              << "Please input first name correctly";
        QTest::newRow("last name empty") << true << true << QStringList{"Ann", "", "", ""}
                                         << "Please input last name correctly";
        QTest::newRow("e-mail of blanks") << true << true << QStringList{"Ann", "Lee", " \t ", "5"}
                                          << "Please input email correctly";
        QTest::newRow("phone empty") << true << true << QStringList{"Ann", "Lee", "a@b", ""}
                                     << "Please input phone number correctly";
        QTest::newRow("e-mail without an at sign is sent") << true << true
                                                            << QStringList{"Ann", "Lee", "ann", "x"} << "";
    }

    void demoSignUpChecks()
    {
        QFETCH(bool, servers);
        QFETCH(bool, agree);
        QFETCH(QStringList, fields);
        QFETCH(QString, message);
        openDemo(servers);
        if (QTest::currentTestFailed())
            return;
        auto *dialog = window->findChild<OpenDemoDlg *>();
        QCOMPARE(child<QComboBox>(dialog, "cbServer")->count(), servers ? 1 : 0);
        fill(dialog, fields, agree);
        child<QPushButton>(dialog, "btnRegister")->click();
        if (message.isEmpty()) {
            QVERIFY(catcher->seen.isEmpty());
            QTRY_COMPARE(broker->accounts.requests().size(), 1);
        } else {
            QCOMPARE(catcher->seen, QStringList{"Demo Account|" + message});
            QVERIFY(dialog->findChildren<QNetworkAccessManager *>().isEmpty());
            QVERIFY(child<QPushButton>(dialog, "btnRegister")->isVisibleTo(dialog));
        }
    }

    // What each kind of answer shows, copies and hands to the window.
    void demoSignUpAnswers_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("waitText");     // empty: the wait label is hidden
        QTest::addColumn<QString>("loginLabel");   // "new": the account the service opened
        QTest::addColumn<QString>("copied");       // "new": "{Login:<new>, Password:<its password>}"
        QTest::addColumn<qint64>("reloginAccount"); // -1: the new account; 0: no relogin
        QTest::newRow("account opened") << "serve" << "" << "new" << "new" << qint64(-1);
        QTest::newRow("redirect followed") << "redirect" << "" << "new" << "new" << qint64(-1);
        QTest::newRow("HTTP 500") << "500" << "Can not create demo account!" << "Server:" << "" << qint64(0);
        QTest::newRow("refusal") << "403" << "Can not create demo account!" << "Server:" << "" << qint64(0);
        QTest::newRow("body not JSON") << "html" << "" << "0" << "{Login:0, Password:}" << qint64(0);
        QTest::newRow("no login in the answer") << "{\"password\":\"abc\"}" << "" << "0"
                                                << "{Login:0, Password:abc}" << qint64(0);
        QTest::newRow("login out of range") << "{\"login\":1e30,\"password\":\"abc\"}" << "" << "0"
                                            << "{Login:0, Password:abc}" << qint64(0);
        QTest::newRow("account past 32 bits") << "{\"login\":5000000001,\"password\":\"abc\"}" << ""
                                              << "5000000001" << "{Login:5000000001, Password:abc}"
                                              << qint64(5000000001LL);
    }

    void demoSignUpAnswers()
    {
        QFETCH(QString, script);
        QFETCH(QString, waitText);
        QFETCH(QString, loginLabel);
        QFETCH(QString, copied);
        QFETCH(qint64, reloginAccount);
        simbroker::AccountService &service = broker->accounts;
        if (script == QLatin1String("redirect"))
            service.redirectTo(QUrl(QStringLiteral("http://%1:9004/account/create?moved").arg(broker->host)));
        else if (script == QLatin1String("500") || script == QLatin1String("403"))
            service.answerWith(script.toInt(), "{\"login\":7,\"password\":\"x\"}");
        else if (script == QLatin1String("html"))
            service.answerWith(200, "<html>busy</html>");
        else if (script.startsWith(QLatin1Char('{')))
            service.answerWith(200, script.toUtf8());

        openDemo();
        if (QTest::currentTestFailed())
            return;
        auto *dialog = window->findChild<OpenDemoDlg *>();
        fill(dialog, {"Ann", "Lee", "ann@example.com", "+1 555"}, true);
        child<QComboBox>(dialog, "cbDeposit")->setCurrentIndex(2);
        child<QComboBox>(dialog, "cbLeverage")->setCurrentIndex(2);
        QSignalSpy relogins(dialog, &OpenDemoDlg::relogin);
        child<QPushButton>(dialog, "btnRegister")->click();
        QCOMPARE(child<QLabel>(dialog, "txtWait")->text(), QStringLiteral("Please waitting while processing..."));
        QTRY_VERIFY(dialog->findChildren<QNetworkAccessManager *>().isEmpty());

        // The request: port 9004 of the chosen server's host, the exact body.
        const auto request = service.requests().constFirst();
        QCOMPARE(request.path, QStringLiteral("/account/create"));
        QCOMPARE(request.contentType, QByteArray("application/json"));
        const QString password = request.json.value("password").toString();
        QVERIFY(QRegularExpression(QStringLiteral("^[A-Za-z0-9]{5}$")).match(password).hasMatch());
        QJsonObject expected{{"name", "Ann Lee"}, {"email", "ann@example.com"}, {"phone", "+1 555"},
                             {"leverage", 300}, {"password", password}, {"amount", 25000}, {"group", "demo"},
                             {"manager_login", 1000}, {"manager_password", "Harbour482#"}};
        QCOMPARE(request.json, expected);
        QVERIFY(request.body.contains("\n    \"amount\": 25000")); // indented, a JSON integer

        const auto created = service.createdAccounts();
        const QString newLogin = created.isEmpty() ? QString() : QString::number(created.constFirst().login);
        if (loginLabel == QLatin1String("new")) {
            QCOMPARE(created.size(), 1);
            QCOMPARE(created.constFirst().password, password);
            QCOMPARE(created.constFirst().amount, 25000);
            QCOMPARE(created.constFirst().leverage, 300);
            loginLabel = newLogin;
            copied = QStringLiteral("{Login:%1, Password:%2}").arg(newLogin, password);
        }
        auto *wait = child<QLabel>(dialog, "txtWait");
        QCOMPARE(wait->isVisibleTo(dialog) ? wait->text() : QString(), waitText);
        QVERIFY(!child<QPushButton>(dialog, "btnRegister")->isVisibleTo(dialog));
        QCOMPARE(child<QLabel>(dialog, "lblLogin")->text(), loginLabel);
        const bool shown = waitText.isEmpty();
        QCOMPARE(child<QPushButton>(dialog, "btnCopy")->isVisibleTo(dialog), shown);
        if (shown) {
            QCOMPARE(child<QLabel>(dialog, "lblServerName")->text(), ServerName);
            child<QPushButton>(dialog, "btnCopy")->click();
            QCOMPARE(QGuiApplication::clipboard()->text(), copied);
            child<QPushButton>(dialog, "btnLogout")->click();
        }
        if (reloginAccount == 0) {
            QCOMPARE(relogins.count(), 0);
        } else {
            QCOMPARE(relogins.count(), 1);
            const qint64 account = reloginAccount > 0 ? reloginAccount : newLogin.toLongLong();
            QCOMPARE(relogins.constFirst(),
                     (QVariantList{account, reloginAccount > 0 ? QStringLiteral("abc") : password, ServerName}));
        }
    }

    // The warning of a sign-up without an answer, and the answers that come after it.
    void demoSignUpLateAnswer_data()
    {
        QTest::addColumn<bool>("answerWhileWarned");
        QTest::newRow("answer while the warning is open") << true;
        QTest::newRow("no answer, then a new sign-up") << false;
    }

    void demoSignUpLateAnswer()
    {
        QFETCH(bool, answerWhileWarned);
        simbroker::AccountService &service = broker->accounts;
        service.holdRequests();
        openDemo();
        if (QTest::currentTestFailed())
            return;
        auto *dialog = window->findChild<OpenDemoDlg *>();
        fill(dialog, {"Ann", "Lee", "a@b", "1"}, true);
        auto *registerButton = child<QPushButton>(dialog, "btnRegister");
        auto *copy = child<QPushButton>(dialog, "btnCopy");
        if (answerWhileWarned) {
            catcher->whenShown = [&] { service.answerHeld(); };
            catcher->mayClose = [&] { return copy->isVisibleTo(dialog); };
        }
        registerButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(!catcher->seen.isEmpty(), 10000);
        QCOMPARE(catcher->seen, QStringList{"Demo Account|No connection with Server"});

        if (answerWhileWarned) {
            // The finished sign-up stays finished: no "Register" to open a second account.
            QVERIFY(!registerButton->isVisibleTo(dialog));
            QVERIFY(copy->isVisibleTo(dialog));
            QCOMPARE(child<QLabel>(dialog, "lblLogin")->text(),
                     QString::number(service.createdAccounts().constFirst().login));
            return;
        }
        QVERIFY(registerButton->isVisibleTo(dialog));
        QCOMPARE(child<QLabel>(dialog, "txtWait")->text(), QString());
        // The trader tries again; the abandoned sign-up's answer is not taken for the new one.
        registerButton->click();
        QTRY_COMPARE(service.requests().size(), 2);
        service.answerHeld(1);
        QTRY_COMPARE(service.createdAccounts().size(), 1);
        QTest::qWait(200); // the answer has no effect to wait for
        QVERIFY(!copy->isVisibleTo(dialog));
        QCOMPARE(child<QLabel>(dialog, "txtWait")->text(), QStringLiteral("Please waitting while processing..."));
        service.answerHeld();
        QTRY_VERIFY(copy->isVisibleTo(dialog));
        QCOMPARE(child<QLabel>(dialog, "lblLogin")->text(),
                 QString::number(service.createdAccounts().constLast().login));
    }

    // An answer naming no account after an earlier sign-up must not log into the earlier one.
    void demoEarlierAccountIsNotReused()
    {
        openDemo();
        if (QTest::currentTestFailed())
            return;
        auto *dialog = window->findChild<OpenDemoDlg *>();
        for (const QByteArray &answer : {QByteArray(), QByteArray("[1]")}) {
            if (!answer.isEmpty())
                broker->accounts.answerWith(200, answer);
            window->openDemoAction();
            fill(dialog, {"Ann", "Lee", "a@b", "1"}, true);
            child<QPushButton>(dialog, "btnRegister")->click();
            QTRY_VERIFY(child<QPushButton>(dialog, "btnLogout")->isVisible());
        }
        QCOMPARE(broker->accounts.requests().size(), 2);
        QSignalSpy relogins(dialog, &OpenDemoDlg::relogin);
        child<QPushButton>(dialog, "btnLogout")->click();
        QCOMPARE(relogins.count(), 0);
    }

    void demoPasswordsAreUnpredictable()
    {
        const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
        QSet<QString> passwords;
        QSet<QChar> used;
        for (int i = 0; i < 2000; ++i) {
            const QString password = AccountRequests::randomPassword(5);
            QCOMPARE(password.size(), 5);
            passwords.insert(password);
            for (const QChar c : password)
                used.insert(c);
        }
        // 62^5 possible passwords: a repeat among 2000 has odds of about 1 in 460, two of
        // about 1 in 10^6, so one is tolerated.
        QVERIFY(passwords.size() >= 1999);
        QCOMPARE(used, QSet<QChar>(alphabet.begin(), alphabet.end()));
        // Not the process-wide default sequence: two fresh starts draw different passwords.
        QStringList first, second;
        for (QStringList *run : {&first, &second}) {
            QT_WARNING_PUSH
            QT_WARNING_DISABLE_DEPRECATED
            qsrand(1);
            QT_WARNING_POP
            for (int i = 0; i < 20; ++i)
                run->append(AccountRequests::randomPassword(5));
        }
        QVERIFY(first != second);
    }

    // The request URLs: the account service's port on the host of the server in question.
    void serviceUrls_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("create");
        QTest::addColumn<QString>("update");
        QTest::newRow("host and port") << "10.1.2.3:9001" << "http://10.1.2.3:9004/account/create"
                                       << "http://10.1.2.3:9004/account/update";
        QTest::newRow("host alone") << "trade.example" << "http://trade.example:9004/account/create"
                                    << "http://trade.example:9004/account/update";
        // A broker-list entry that is no host name must not send the manager password elsewhere.
        QTest::newRow("path in the address") << "evil.example/x?y:9001" << "" << "";
    }

    void serviceUrls()
    {
        QFETCH(QString, address);
        QTEST(AccountRequests::createUrl(address).toString(), "create");
        QTEST(AccountRequests::updateUrl(QUrl(QStringLiteral("ws://") + address)).toString(), "update");
    }

    // The checks in their order, the request and what each answer does to the client's password.
    void passwordChange_data()
    {
        QTest::addColumn<QStringList>("typed"); // old, new, confirmation
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("clientPassword");
        QTest::addColumn<int>("requests");
        const QString ok = QStringLiteral("Change Password|Password changed successfully!");
        QTest::newRow("old password in other letter case") << QStringList{"PW1001", "n", "n"} << "serve"
            << QStringList{"Change Password|Old password is not correct!"} << "pw1001" << 0;
        QTest::newRow("confirmation empty") << QStringList{"pw1001", "n", ""} << "serve"
            << QStringList{"Change Password|New password does not match!"} << "pw1001" << 0;
        QTest::newRow("both new empty") << QStringList{"pw1001", "", ""} << "serve"
            << QStringList{"Change Password|New password can not be empty!"} << "pw1001" << 0;
        QTest::newRow("blanks sent as typed") << QStringList{"pw1001", " n w ", " n w "} << "serve"
            << QStringList{ok} << " n w " << 1;
        QTest::newRow("HTTP 500") << QStringList{"pw1001", "n", "n"} << "500"
            << QStringList{"Change Password|Error occured!"} << "pw1001" << 1;
        QTest::newRow("redirect not followed") << QStringList{"pw1001", "n", "n"} << "redirect"
            << QStringList{"Change Password|Error occured!"} << "pw1001" << 1;
        QTest::newRow("no answer") << QStringList{"pw1001", "n", "n"} << "hold"
            << QStringList{"Change Password|Server is not unreachable"} << "pw1001" << 1;
    }

    void passwordChange()
    {
        QFETCH(QStringList, typed);
        QFETCH(QString, script);
        QFETCH(QStringList, messages);
        QFETCH(int, requests);
        simbroker::AccountService &service = broker->accounts;
        if (script == QLatin1String("500"))
            service.answerWith(500, "{}");
        else if (script == QLatin1String("redirect"))
            service.redirectTo(QUrl(QStringLiteral("http://%1:9004/account/update").arg(broker->host)));
        else if (script == QLatin1String("hold"))
            service.holdRequests();

        openChangePassword();
        if (QTest::currentTestFailed())
            return;
        auto *dialog = window->findChild<ChangePasswordDlg *>();
        child<QLineEdit>(dialog, "txtOld")->setText(typed[0]);
        child<QLineEdit>(dialog, "txtNew1")->setText(typed[1]);
        child<QLineEdit>(dialog, "txtNew2")->setText(typed[2]);
        child<QPushButton>(dialog, "btnOK")->click();
        QTRY_COMPARE_WITH_TIMEOUT(catcher->seen, messages, 10000);
        QCOMPARE(service.requests().size(), requests);
        if (requests > 0) {
            const auto request = service.requests().constFirst();
            QCOMPARE(request.path, QStringLiteral("/account/update"));
            QCOMPARE(request.contentType, QByteArray("application/json"));
            QCOMPARE(request.json, (QJsonObject{{"password", typed[1]}, {"dealer", 1001}, {"manager_login", 1000},
                                                {"manager_password", "Harbour482#"}}));
            QVERIFY(request.body.contains("\n    \"dealer\": 1001"));
        }
        QTEST(client->accountPassword(), "clientPassword");
        // Only the old-password field is emptied, and only by a success.
        QCOMPARE(child<QLineEdit>(dialog, "txtOld")->text().isEmpty(), messages.constFirst().endsWith("successfully!"));
        QCOMPARE(child<QLineEdit>(dialog, "txtNew1")->text(), typed[1]);
        QVERIFY(dialog->isVisible());
    }

    // After a change the trader keeps working: a lost connection, the next start and a second
    // change all use the new password.
    void changedPasswordLogsInAgain()
    {
        openChangePassword();
        if (QTest::currentTestFailed())
            return;
        auto *dialog = window->findChild<ChangePasswordDlg *>();
        const QString url = broker->trade.url().toString();
        QCOMPARE(QSettings(QStringLiteral("Taldrex"), QStringLiteral("Client")).value("word").toString(),
                 QStringLiteral("pw1001"));
        changePassword(dialog, "pw1001", "second");
        QCOMPARE(client->accountPassword(), QStringLiteral("second"));
        QSettings settings(QStringLiteral("Taldrex"), QStringLiteral("Client"));
        QCOMPARE(settings.value("word").toString(), QStringLiteral("second"));

        QSignalSpy logins(&broker->trade, &simbroker::SimTradeServer::loginHandled);
        broker->trade.dropConnections();
        QTRY_COMPARE_WITH_TIMEOUT(logins.count(), 1, 10000);
        QCOMPARE(logins.constFirst(), (QVariantList{logins.constFirst().at(0), qint64(1001), true}));
        QTRY_VERIFY(window->findChild<QAction *>(QStringLiteral("actionChangePassword"))->isEnabled());
        // The lost connection saved the workspace: its login line carries the new password.
        QCOMPARE(readAll("config/Taldrex-Sim/1001/login"), "1001;second;" + url.toUtf8());

        // The old-password check follows the change.
        changePassword(dialog, "second", "third");
        QCOMPARE(broker->accounts.requests().size(), 2);

        delete std::exchange(window, nullptr);
        client->logout();
        window = new Client_Terminal(client); // logs in with the saved settings
        QTRY_COMPARE(window->accountLogin(), qint64(1001));
        QCOMPARE(client->accountPassword(), QStringLiteral("third"));

        // The login dialog read the saved login at its start: choosing it again after another
        // change must offer the password the server takes now.
        auto *action = window->findChild<QAction *>(QStringLiteral("actionChangePassword"));
        QTRY_VERIFY(action->isEnabled());
        action->trigger();
        changePassword(window->findChild<ChangePasswordDlg *>(), "third", "fourth");
        auto *login = window->findChild<LoginDialog *>();
        auto *box = login->findChild<QComboBox *>(QStringLiteral("loginBox"));
        QCOMPARE(box->count(), 1);
        login->setPassword(QString());
        box->setCurrentIndex(-1);
        box->setCurrentIndex(0);
        QCOMPARE(login->password(), QStringLiteral("fourth"));
    }

    void demoAccountLogsInEndToEnd()
    {
        window = new Client_Terminal(client);
        QTRY_COMPARE(window->GetServerList().size(), 1);
        window->findChild<QAction *>(QStringLiteral("actionOpenDemo"))->trigger();
        auto *dialog = window->findChild<OpenDemoDlg *>();
        QVERIFY(dialog->isVisible());
        fill(dialog, {"Ann", "Lee", "a@b", "1"}, true);
        child<QComboBox>(dialog, "cbDeposit")->setCurrentIndex(4);
        child<QPushButton>(dialog, "btnRegister")->click();
        auto *proceed = child<QPushButton>(dialog, "btnLogout");
        QTRY_VERIFY(proceed->isVisible());
        const qint64 account = broker->accounts.createdAccounts().constFirst().login;
        proceed->click();
        QTRY_COMPARE(window->accountLogin(), account);
        QCOMPARE(broker->trade.balance(account), 100000.0);
        QTRY_VERIFY(!dialog->isVisible());
        QCOMPARE(window->accountServerName(), ServerName);
    }

    // What the dialog shows of a symbol's specification.
    void specificationRows_data()
    {
        QTest::addColumn<SymbolSetting>("setting");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("unknown symbol: defaults") << SymbolSetting()
            << QStringList{"", "", "", "0", "100000", "0.01", "10.00", "0.01"};
        SymbolSetting gold;
        gold.symbol = QStringLiteral("XAUUSD");
        gold.path = QStringLiteral("Metals\\Gold");
        gold.desc = QStringLiteral("Gold vs US Dollar");
        gold.digits = 2;
        gold.c_size = 1234567.0;
        gold.min_vol = 50;
        gold.max_vol = 5000000;
        gold.step_vol = 125;
        QTest::newRow("full setting") << gold << QStringList{"XAUUSD", "Metals\\Gold", "Gold vs US Dollar", "2",
                                                             "1.23457e+06", "0.01", "500.00", "0.01"};
    }

    void specificationRows()
    {
        QFETCH(SymbolSetting, setting);
        const auto rows = ShowSymbolDialog::specificationRows(setting);
        QStringList names, values;
        for (const auto &row : rows) {
            names << row.first;
            values << row.second;
        }
        QCOMPARE(names, (QStringList{"Symbol", "Path", "Description", "Digits", "Contract Size",
                                     "Minimal volume", "Maximal volume", "Step volume"}));
        QTEST(values, "values");
    }

    // Ticks change the market watch at once; an untouched dialog changes nothing.
    void symbolDialog_data()
    {
        QTest::addColumn<QStringList>("toggles"); // symbols whose box is clicked, in order
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("open and close") << QStringList{} << QStringList{"GBPUSD", "EURUSD", "USDJPY"};
        QTest::newRow("untick and tick again moves it to the end") << QStringList{"GBPUSD", "GBPUSD"}
                                                                   << QStringList{"EURUSD", "USDJPY", "GBPUSD"};
        QTest::newRow("tick a hidden symbol") << QStringList{"AUDUSD"}
                                              << QStringList{"GBPUSD", "EURUSD", "USDJPY", "AUDUSD"};
    }

    void symbolDialog()
    {
        QFETCH(QStringList, toggles);
        window = new Client_Terminal(client);
        SymbolDataStorage *store = window->symbolStorage();
        QJsonArray array;
        for (const char *name : {"USDJPY", "AUDUSD", "EURUSD", "GBPUSD"})
            array.append(QJsonObject{{"symbol", name}, {"digits", 5}, {"c_size", 100000}, {"min_vol", 100},
                                     {"max_vol", 1000000}, {"step_vol", 100}, {"path", "Forex"}});
        store->setSymbols({"GBPUSD", "EURUSD", "USDJPY"}, false);
        store->onSymbolListReceived(QJsonObject{{"res_code", 8}, {"array", array}});
        store->setSymbols({"GBPUSD", "EURUSD", "USDJPY"}, true);
        QSignalSpy changes(store, &SymbolDataStorage::symbolListChanged);

        QStringList listed, ticked, specification;
        QTimer::singleShot(0, window, [&] {
            auto *dialog = window->findChild<ShowSymbolDialog *>();
            QVERIFY(dialog && dialog->isModal() && dialog->isVisible());
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Show/Hide Symbols"));
            auto *list = child<QListWidget>(dialog, "listWidget");
            for (int i = 0; i < list->count(); ++i) {
                listed << list->item(i)->text();
                if (list->item(i)->checkState() == Qt::Checked)
                    ticked << list->item(i)->text();
            }
            for (const QString &symbol : toggles) {
                QListWidgetItem *item = list->findItems(symbol, Qt::MatchExactly).value(0);
                const QRect box = list->visualItemRect(item);
                // The check box sits at the item's left edge.
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(box.left() + 10, box.center().y()));
            }
            list->itemClicked(list->item(1));
            auto *table = child<QTableWidget>(dialog, "tableWidget");
            for (int row = 0; row < table->rowCount(); ++row)
                specification << table->item(row, 1)->text();
            dialog->accept();
        });
        window->showSymbolDialog();

        QCOMPARE(listed, (QStringList{"AUDUSD", "EURUSD", "GBPUSD", "USDJPY"}));
        QCOMPARE(ticked, (QStringList{"EURUSD", "GBPUSD", "USDJPY"}));
        QCOMPARE(specification, (QStringList{"EURUSD", "Forex", "", "5", "100000", "0.01", "100.00", "0.01"}));
        QCOMPARE(changes.count(), toggles.size());
        QTEST(store->symbolList(), "shown");
        QVERIFY(!window->findChild<ShowSymbolDialog *>());
    }

private:
    static QByteArray readAll(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // A window whose broker list has arrived (or, without servers, none that answers).
    void openDemo(bool servers = true)
    {
        if (!servers)
            broker->brokerList.close();
        window = new Client_Terminal(client);
        if (servers)
            QTRY_COMPARE(window->GetServerList().size(), 1);
        window->openDemoAction();
    }

    static void fill(OpenDemoDlg *dialog, const QStringList &fields, bool agree)
    {
        child<QLineEdit>(dialog, "txtFirstName")->setText(fields[0]);
        child<QLineEdit>(dialog, "txtLastName")->setText(fields[1]);
        child<QLineEdit>(dialog, "txtEmail")->setText(fields[2]);
        child<QLineEdit>(dialog, "txtPhoneNumber")->setText(fields[3]);
        child<QCheckBox>(dialog, "chk_Agree")->setChecked(agree);
    }

    // A window logged into 1001 through the login dialog, with its password saved.
    void openChangePassword()
    {
        window = new Client_Terminal(client);
        auto *login = window->findChild<LoginDialog *>();
        login->clearServers();
        login->addServer(ServerName, broker->trade.address());
        login->setLogin(1001);
        login->setPassword(QStringLiteral("pw1001"));
        window->connectToBroker();
        auto *action = window->findChild<QAction *>(QStringLiteral("actionChangePassword"));
        QTRY_VERIFY(action->isEnabled());
        action->trigger();
        QVERIFY(window->findChild<ChangePasswordDlg *>()->isVisible());
    }

    void changePassword(ChangePasswordDlg *dialog, const QString &oldPassword, const QString &newPassword)
    {
        catcher->seen.clear();
        child<QLineEdit>(dialog, "txtOld")->setText(oldPassword);
        child<QLineEdit>(dialog, "txtNew1")->setText(newPassword);
        child<QLineEdit>(dialog, "txtNew2")->setText(newPassword);
        child<QPushButton>(dialog, "btnOK")->click();
        QTRY_COMPARE(catcher->seen, QStringList{"Change Password|Password changed successfully!"});
    }

    Broker *broker = nullptr;
    TradeClient *client = nullptr;
    Client_Terminal *window = nullptr;
    BoxCatcher *catcher = nullptr;
};

CORVANE_TEST_GUI_MAIN(TestAccountDialogs)
#include "tst_accountdialogs.moc"

// The account dialogs against the simulated broker's account web service over real HTTP:
// demo sign-up, password change, and the symbol list on the window's own store.
#include "accountrequests.h"
#include "accountservice.h"
#include "brokerlistservice.h"
#include "changepassworddlg.h"
#include "client_terminal.h"
#include "logindialog.h"
#include "loopback.h"
#include "opendemodlg.h"
#include "peerthread.h"
#include "showsymboldialog.h"
#include "simtradeserver.h"
#include "testmain.h"
#include "tradeclient.h"

#include <QtWidgets>
#include <functional>
#include <memory>

namespace {

const QString ServerName = QStringLiteral("Taldrex-Sim");
const QString Failed = QStringLiteral("Can not create demo account!");
// What an endless answer may have sent by its end: the reply's buffer and the kernel's.
constexpr qint64 Streamed = 32 * 1024 * 1024;
// The dialogs' reply times in a row whose answer comes: far beyond any stall, so what the row
// shows is decided by the answer, never by how fast the machine delivered it.
constexpr AccountRequests::ReplyTimes Unhurried{600000, 600000};
// In a row whose request the service holds: the warning and the deadline are its events, and
// they come in this order however late the machine runs them.
constexpr AccountRequests::ReplyTimes Held{1000, 3000};
// How long a row holds the window's thread at an answer's first data.
constexpr unsigned long HoldMs = 3000;
// How long a fixture waits for the broker list or a login before it gives up the whole run: it
// cannot go on without them, so only a broker that never answers may end it, not a slow machine.
constexpr int FixturePatienceMs = 60000;

// Closes every message box the code under test opens (they are modal and block), noting
// "title|text" of each in the order they open. A box stays open until `mayClose` holds;
// `whenShown` runs once per box.
struct BoxCatcher : QObject
{
    std::function<void()> whenShown;
    std::function<bool()> mayClose;
    QStringList seen;
    QTimer timer;

    BoxCatcher()
    {
        // Noted as each box is shown: boxes that open within one tick of the closer (a stalled
        // machine running late timers together) are still noted in their order.
        qApp->installEventFilter(this);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(widget);
                if (!box || !box->isVisible())
                    continue;
                if (!box->property("handled").toBool()) {
                    box->setProperty("handled", true);
                    if (whenShown)
                        whenShown();
                }
                if (!mayClose || mayClose())
                    box->button(QMessageBox::Ok)->click();
            }
        });
        timer.start(10);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *box = event->type() == QEvent::Show ? qobject_cast<QMessageBox *>(watched) : nullptr;
        if (box && !box->property("caught").toBool()) {
            box->setProperty("caught", true);
            seen << box->windowTitle() + '|' + box->text();
        }
        return false;
    }
};

// The simulated broker on this process's own loopback address: the trade server, the broker list
// on port 9000 naming it, and the account service on port 9004 of the same host; beside it, on
// another address, a decoy account service that must never be asked.
struct Broker
{
    const QString host = corvane_test::ownLoopbackHost(corvane_test::Loopback::Broker);
    simbroker::SimTradeServer trade;
    BrokerListService brokerList;
    simbroker::AccountService accounts{&trade};
    simbroker::AccountService decoy{nullptr};
    // The account service once it answers from a thread of its own (see script).
    std::unique_ptr<simbroker::PeerThread<simbroker::AccountService>> apart;

    Broker()
    {
        trade.setLoginSnapshot(false);
        trade.addAccount(1001, QStringLiteral("pw1001"), 10000.0, QStringLiteral("First"));
        const QHostAddress address(host);
        if (!trade.listen(address, 0) || !brokerList.listen(address, BrokerList::ServicePort)
            || !accounts.listen(address, simbroker::AccountService::DefaultPort) || !decoy.listen(QHostAddress(decoyHost()), 0))
            qFatal("the simulated broker cannot listen on %s", qPrintable(host));
        decoy.answerWith(200, R"({"login":666,"password":"decoy"})");
        listServer(trade.address());
        Client_Terminal::setBrokerListHost(host);
    }

    static QString decoyHost() { return corvane_test::ownLoopbackHost(corvane_test::Loopback::Beside); }
    void listServer(const QString &address)
    {
        brokerList.setReplyBody(QJsonDocument(QJsonArray{QJsonObject{
            {"servers", QJsonArray{QJsonObject{{"name", ServerName}, {"ipaddr", address}}}}}}).toJson());
    }

    // What the account service does with the next requests: "serve", "hold", "endless", "big"
    // (a body just past the limit), "redirect" (to the same service or to the decoy), an HTTP
    // status, or the body of a 200. "endless apart": an endless body from a service in a thread
    // of its own on the same address, as a remote host goes on sending while the window's
    // thread is held; "redirect, endless apart": the same after a redirect within the service.
    void script(const QString &what, const QString &path)
    {
        if (what.endsWith("endless apart")) {
            accounts.close();
            apart = std::make_unique<simbroker::PeerThread<simbroker::AccountService>>(nullptr);
            bool listening = false;
            apart->run([&](simbroker::AccountService &service) {
                listening = service.listen(QHostAddress(host), simbroker::AccountService::DefaultPort);
                service.answerEndlessly(true);
                if (what.startsWith("redirect"))
                    service.redirectTo(QUrl(QStringLiteral("http://%1:9004%2?moved").arg(host, path)));
            });
            if (!listening)
                qFatal("the account service cannot listen on %s in its own thread", qPrintable(host));
        } else if (what == "redirect" || what == "decoy")
            accounts.redirectTo(QUrl(QStringLiteral("http://%1:%2%3?moved").arg(what == "decoy" ? decoyHost() : host)
                                         .arg(what == "decoy" ? decoy.serverPort() : 9004).arg(path)));
        else if (what == "hold")
            accounts.holdRequests();
        else if (what == "endless")
            accounts.answerEndlessly();
        else if (what == "big")
            accounts.answerWith(200, QByteArray(int(AccountRequests::MaxReplyBytes), ' ') + R"({"login":7,"password":"x"})");
        else if (what.toInt() > 0)
            accounts.answerWith(what.toInt(), R"({"login":7,"password":"x"})");
        else if (what != "serve" && what != "user part")
            accounts.answerWith(200, what.toUtf8());
    }

    // What the account service answering now has received and streamed.
    QList<simbroker::AccountService::Request> requests()
    {
        QList<simbroker::AccountService::Request> received = accounts.requests();
        if (apart)
            apart->run([&](simbroker::AccountService &service) { received = service.requests(); });
        return received;
    }
    qint64 streamed()
    {
        qint64 bytes = accounts.streamedBytes();
        if (apart)
            apart->run([&](simbroker::AccountService &service) { bytes = service.streamedBytes(); });
        return bytes;
    }

    // Holds the window's thread once, HoldMs, at the first data of the dialog's request under way,
    // after the bound's own check has seen it. The service apart sends the rest of its answer
    // only then, so all of it meets a window that reads nothing: only the network layer can stop.
    void holdAtFirstData(QObject *dialog)
    {
        auto *reply = dialog->findChild<QNetworkReply *>();
        if (!reply || !apart)
            qFatal("no request under way to the service apart");
        QObject::connect(reply, &QIODevice::readyRead, reply, [this, held = false]() mutable {
            if (std::exchange(held, true))
                return;
            apart->run([](simbroker::AccountService &service) { service.releaseEndless(); });
            QThread::msleep(HoldMs);
        });
    }
};

template <typename T = QWidget>
T *child(QObject *parent, const char *name)
{
    if (T *found = parent->findChild<T *>(QLatin1String(name)))
        return found;
    qFatal("no child %s", name);
}

bool shown(QWidget *dialog, const char *name)
{
    return child(dialog, name)->isVisibleTo(dialog);
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
        AccountRequests::setReplyTimes(Unhurried);
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

    // Only an answer naming a whole account shows one: the frame, the copied text and "Proceed
    // to Login" then name it; anything else, from any peer, is the failure text and nothing more.
    void demoSignUpAnswers_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("account"); // "new": the one the service opened; "": none
        QTest::newRow("account opened") << "serve" << "new";
        QTest::newRow("redirect within the service") << "redirect" << "new";
        QTest::newRow("redirect to another host") << "decoy" << "";
        QTest::newRow("address with a user part") << "user part" << "new";
        QTest::newRow("HTTP 500") << "500" << "";
        QTest::newRow("body not JSON") << "<html>busy</html>" << "";
        QTest::newRow("JSON array") << R"([{"login":7,"password":"x"}])" << "";
        QTest::newRow("login as text, password a number") << R"({"login":"7","password":7})" << "";
        QTest::newRow("login beyond 64 bits") << R"({"login":18446744073709551616,"password":"abc"})" << "";
        QTest::newRow("account past 32 bits") << R"({"login":5000000001,"password":"abc"})" << "5000000001";
        QTest::newRow("endless body") << "endless" << "";
        QTest::newRow("endless body, window held at its start") << "endless apart" << "";
        QTest::newRow("endless body after a redirect, window held") << "redirect, endless apart" << "";
        QTest::newRow("over 1 MiB") << "big" << "";
        QTest::newRow("no answer") << "hold" << "";
    }

    void demoSignUpAnswers()
    {
        QFETCH(QString, script);
        QFETCH(QString, account);
        broker->script(script, "/account/create");
        if (script == "hold")
            AccountRequests::setReplyTimes(Held);
        if (script == "user part")
            broker->listServer(broker->decoyHost() + ":1@" + broker->trade.address());
        auto *dialog = openDemo();
        fill(dialog, "Ann|Lee|ann|+1 555"); // an e-mail address without an at sign is sent
        child<QComboBox>(dialog, "cbDeposit")->setCurrentIndex(2);
        child<QComboBox>(dialog, "cbLeverage")->setCurrentIndex(2);
        QSignalSpy relogins(dialog, &OpenDemoDlg::relogin);
        child<QPushButton>(dialog, "btnRegister")->click();
        if (script.endsWith("endless apart"))
            broker->holdAtFirstData(dialog);
        QCOMPARE(child<QLabel>(dialog, "txtWait")->text(), QStringLiteral("Please wait while processing..."));
        QTRY_VERIFY_WITH_TIMEOUT(dialog->findChildren<QNetworkAccessManager *>().isEmpty(), 30000);
        QVERIFY2(broker->streamed() < Streamed, qPrintable(QString::number(broker->streamed())));
        QCOMPARE(broker->decoy.requests().size(), 0);

        // The request: port 9004 of the host the trade session would connect to, the exact body.
        QVERIFY(!broker->requests().isEmpty());
        const auto request = broker->requests().constFirst();
        QCOMPARE(request.path + request.contentType, QStringLiteral("/account/createapplication/json"));
        const QString password = request.json.value("password").toString();
        QVERIFY(QRegularExpression(QStringLiteral("^[A-Za-z0-9]{5}$")).match(password).hasMatch());
        QCOMPARE(request.json, (QJsonObject{{"name", "Ann Lee"}, {"email", "ann"}, {"phone", "+1 555"},
                                            {"leverage", 300}, {"password", password}, {"amount", 25000},
                                            {"group", "demo"}, {"manager_login", 1000},
                                            {"manager_password", "Harbour482#"}}));
        QVERIFY(request.body.contains("\n    \"amount\": 25000")); // indented, a JSON integer

        const auto created = broker->accounts.createdAccounts();
        QString accountPassword = QStringLiteral("abc");
        if (account == "new") {
            QCOMPARE(created.size(), 1);
            QCOMPARE(created[0].password + QStringLiteral(" %1 %2").arg(created[0].amount).arg(created[0].leverage),
                     password + " 25000 300");
            account = QString::number(created[0].login);
            accountPassword = password;
        }
        QCOMPARE(shown(dialog, "txtWait") ? child<QLabel>(dialog, "txtWait")->text() : QString(),
                 account.isEmpty() ? Failed : QString());
        QVERIFY(!shown(dialog, "btnRegister"));
        QCOMPARE(child<QLabel>(dialog, "lblLogin")->text(), account);
        for (const char *part : {"grpDetails", "btnCopy", "btnLogout"})
            QCOMPARE(shown(dialog, part), !account.isEmpty());
        if (account.isEmpty())
            return;
        QCOMPARE(child<QLabel>(dialog, "lblServerName")->text(), ServerName);
        child<QPushButton>(dialog, "btnCopy")->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("{Login:%1, Password:%2}").arg(account, accountPassword));
        child<QPushButton>(dialog, "btnLogout")->click();
        QCOMPARE(relogins, (QList<QVariantList>{{account.toLongLong(), accountPassword, ServerName}}));
        if (!created.isEmpty()) // the window logs into the new account
            QTRY_COMPARE(window->accountLogin(), account.toLongLong());
    }

    // The warning of a sign-up without an answer, and the answers that come after it.
    void demoSignUpLateAnswer_data()
    {
        QTest::addColumn<QString>("late");
        QTest::addColumn<QString>("waitText"); // empty: hidden or empty
        QTest::newRow("answer while the warning is open") << "answer" << "";
        QTest::newRow("endless answer while the warning is open") << "endless" << Failed;
        QTest::newRow("no answer yet") << "hold" << "";
        QTest::newRow("dialog closed while waiting") << "close" << "Please wait while processing...";
    }

    void demoSignUpLateAnswer()
    {
        QFETCH(QString, late);
        simbroker::AccountService &service = broker->accounts;
        service.holdRequests();
        // The warning is the event here. An answer let go once it shows is read whatever the
        // delay; only the given-up request ends at the deadline, which marks that the warning's
        // time has passed.
        AccountRequests::setReplyTimes({Held.warnMs, late == "close" ? Held.deadlineMs : Unhurried.deadlineMs});
        auto *dialog = openDemo();
        fill(dialog, "Ann|Lee|a@b|1");
        auto *wait = child<QLabel>(dialog, "txtWait");
        if (late == "answer" || late == "endless") {
            catcher->whenShown = [&] { if (late == "endless") service.answerEndlessly(); service.answerHeld(); };
            // The box stays open until the answer is handled: nothing may wait for it to close.
            catcher->mayClose = [&] { return shown(dialog, "btnCopy") || wait->text() == Failed; };
        }
        child<QPushButton>(dialog, "btnRegister")->click();
        if (late == "close")
            dialog->close();
        QTRY_VERIFY_WITH_TIMEOUT(late == "close" ? dialog->findChildren<QNetworkAccessManager *>().isEmpty()
                                                 : !catcher->seen.isEmpty(), 10000);
        QCOMPARE(catcher->seen, late == "close" ? QStringList() : QStringList{"Demo Account|No connection with Server"});
        QVERIFY(service.streamedBytes() < Streamed);
        // A finished sign-up stays finished: no "Register" to open a second account.
        QCOMPARE(shown(dialog, "btnRegister"), late == "hold");
        QCOMPARE(shown(dialog, "btnCopy"), late == "answer");
        QTEST(wait->isVisibleTo(dialog) ? wait->text() : QString(), "waitText");
        if (late == "answer")
            QCOMPARE(child<QLabel>(dialog, "lblLogin")->text(), QString::number(service.createdAccounts().constFirst().login));
    }

    // A new sign-up never shows an earlier one's account: neither the answer to one given up on
    // (by opening the dialog again) nor, after an answer naming no account, the last one shown.
    void demoSecondSignUpShowsOnlyItsOwn()
    {
        auto *dialog = openDemo();
        QSignalSpy relogins(dialog, &OpenDemoDlg::relogin);
        const auto signUp = [&] {
            window->openDemoAction();
            fill(dialog, "Ann|Lee|a@b|1");
            child<QPushButton>(dialog, "btnRegister")->click();
        };
        signUp();
        QTRY_VERIFY(shown(dialog, "btnCopy"));
        broker->accounts.holdRequests();
        signUp(); // given up on by the next one
        QSignalSpy givenUp(dialog->findChildren<QNetworkAccessManager *>(QString(), Qt::FindDirectChildrenOnly).constLast(),
                           &QNetworkAccessManager::finished);
        QTRY_COMPARE(broker->accounts.requests().size(), 2);
        signUp();
        QTRY_COMPARE(broker->accounts.requests().size(), 3);
        broker->accounts.answerHeld(1);
        QTRY_COMPARE(givenUp.count(), 1); // the dialog has read that answer
        QCOMPARE(broker->accounts.createdAccounts().size(), 2);
        QVERIFY(shown(dialog, "txtWait") && !shown(dialog, "btnCopy"));
        broker->accounts.answerWith(200, R"([{"login":7,"password":"x"}])");
        broker->accounts.answerHeld();
        QTRY_COMPARE(child<QLabel>(dialog, "txtWait")->text(), Failed);
        for (const char *part : {"grpDetails", "btnCopy", "btnLogout"})
            QVERIFY(!shown(dialog, part));
        child<QPushButton>(dialog, "btnLogout")->click();
        child<QPushButton>(dialog, "btnCopy")->click();
        QCOMPARE(relogins.count(), 0);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString());
    }

    // Two fresh starts (the same process-wide seed) draw different passwords, from the whole
    // alphabet.
    void demoPasswordsAreUnpredictable()
    {
        QStringList runs[2];
        for (QStringList &run : runs) {
            QT_WARNING_PUSH
            QT_WARNING_DISABLE_DEPRECATED
            qsrand(1);
            QT_WARNING_POP
            for (int i = 0; i < 400; ++i)
                run << AccountRequests::randomPassword(5);
        }
        QVERIFY(runs[0] != runs[1]);
        const QString all = runs[0].join(QString());
        QVERIFY(QRegularExpression(QStringLiteral("^[A-Za-z0-9]{2000}$")).match(all).hasMatch());
        QCOMPARE(QSet<QChar>(all.begin(), all.end()).size(), 62);
    }

    // The request URLs: the account service's port on the host the trade session connects to.
    void serviceUrls_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("host"); // empty: no request URL at all
        QTest::newRow("host and port") << "10.1.2.3:1" << "10.1.2.3";
        QTest::newRow("host alone: the trade port added") << "trade.example" << "trade.example";
        // Never the text before a ':', nor a path joined into the service's URL.
        QTest::newRow("user part") << "127.0.0.93:1@127.0.0.92:9001" << "127.0.0.92";
        QTest::newRow("path in the address") << "evil.example/x?y:9001" << "evil.example";
        QTest::newRow("no host") << ":9001" << "";
    }

    void serviceUrls()
    {
        QFETCH(QString, address);
        QFETCH(QString, host);
        QCOMPARE(BrokerList::tradeServerUrl(address), "ws://" + address + (address.contains(':') ? "" : ":9001"));
        const QString service = host.isEmpty() ? QString() : "http://" + host + ":9004/account/";
        QCOMPARE(AccountRequests::createUrl(address).toString(), service.isEmpty() ? service : service + "create");
        QCOMPARE(AccountRequests::updateUrl(QUrl(BrokerList::tradeServerUrl(address))).toString(),
                 service.isEmpty() ? service : service + "update");
    }

    // The checks in their order, the request and what each answer does to the client's password.
    void passwordChange_data()
    {
        QTest::addColumn<QStringList>("typed"); // old, new, confirmation
        QTest::addColumn<QString>("script");    // empty: nothing is sent
        QTest::addColumn<QStringList>("messages");
        const QStringList change{"pw1001", "n", "n"};
        const QStringList error{"Error occured!"};
        QTest::newRow("old password in other case") << QStringList{"PW1001", "n", "n"} << "" << QStringList{"Old password is not correct!"};
        QTest::newRow("confirmation empty") << QStringList{"pw1001", "n", ""} << "" << QStringList{"New password does not match!"};
        QTest::newRow("both new empty") << QStringList{"pw1001", "", ""} << "" << QStringList{"New password can not be empty!"};
        QTest::newRow("blanks sent as typed") << QStringList{"pw1001", " n w ", " n w "} << "serve" << QStringList{"Password changed successfully!"};
        QTest::newRow("HTTP 500") << change << "500" << error;
        QTest::newRow("redirect not followed") << change << "redirect" << error;
        QTest::newRow("no answer") << change << "hold" << QStringList{"Server is not unreachable", error[0]};
        QTest::newRow("endless body") << change << "endless" << error;
        QTest::newRow("endless body, window held at its start") << change << "endless apart" << error;
        QTest::newRow("over 1 MiB") << change << "big" << error;
    }

    void passwordChange()
    {
        QFETCH(QStringList, typed);
        QFETCH(QString, script);
        QFETCH(QStringList, messages);
        broker->script(script, "/account/update");
        if (script == "hold")
            AccountRequests::setReplyTimes(Held);
        auto *dialog = openChangePassword();
        submit(dialog, typed);
        if (script == "endless apart")
            broker->holdAtFirstData(dialog);
        for (const QLineEdit *field : dialog->findChildren<QLineEdit *>()) // what is typed never shows
            QVERIFY2(field->text().isEmpty() || field->displayText() != field->text(), qPrintable(field->objectName()));
        QTRY_COMPARE_WITH_TIMEOUT(catcher->seen.join(';').remove("Change Password|"), messages.join(';'), 30000);
        QVERIFY2(broker->streamed() < Streamed, qPrintable(QString::number(broker->streamed())));
        QCOMPARE(broker->requests().size(), script.isEmpty() ? 0 : 1);
        if (!script.isEmpty()) {
            const auto request = broker->requests().constFirst();
            QCOMPARE(request.path + request.contentType, QStringLiteral("/account/updateapplication/json"));
            QCOMPARE(request.json, (QJsonObject{{"password", typed[1]}, {"dealer", 1001}, {"manager_login", 1000},
                                                {"manager_password", "Harbour482#"}}));
            QVERIFY(request.body.contains("\n    \"dealer\": 1001"));
        }
        const bool changed = script == "serve";
        QCOMPARE(client->accountPassword(), changed ? typed[1] : QStringLiteral("pw1001"));
        // A success leaves no password in the dialog; a failure leaves the fields as typed.
        for (int i = 0; i < 3; ++i)
            QCOMPARE(child<QLineEdit>(dialog, std::array{"txtOld", "txtNew1", "txtNew2"}[i])->text(), changed ? QString() : typed[i]);
        QVERIFY(dialog->isVisible());
    }

    // Once the service took a new password, every place that logs the account in again holds
    // it at once: the client (a lost connection), the saved settings (the next start), the
    // workspace's login line, the login dialog's field and its saved login.
    void changedPasswordLogsInAgain()
    {
        auto *dialog = openChangePassword();
        const QByteArray url = broker->trade.url().toString().toUtf8();
        window->close(); // saves the workspace, with the login line
        QCOMPARE(readAll("config/Taldrex-Sim/1001/login"), "1001;pw1001;" + url);
        // Both files readable by all, as an earlier version left them: written back for the owner only.
        const QStringList saved{"config/Taldrex-Sim/1001/login", QSettings(QStringLiteral("Taldrex"), QStringLiteral("Client")).fileName()};
        for (const QString &file : saved)
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        changePassword(dialog, "pw1001", "second");
        QCOMPARE(client->accountPassword(), QStringLiteral("second"));
        QCOMPARE(QSettings(QStringLiteral("Taldrex"), QStringLiteral("Client")).value("word").toString(), "second");
        QCOMPARE(readAll("config/Taldrex-Sim/1001/login"), "1001;second;" + url);
        for (const QString &file : saved)
            QVERIFY2(!(QFile::permissions(file) & (QFile::ReadGroup | QFile::ReadOther)), qPrintable(file));
        QCOMPARE(window->findChild<LoginDialog *>()->password(), QStringLiteral("second"));

        QSignalSpy logins(&broker->trade, &simbroker::SimTradeServer::loginHandled);
        broker->trade.dropConnections();
        QTRY_COMPARE_WITH_TIMEOUT(logins.count(), 1, 10000);
        QCOMPARE(logins.constFirst().mid(1), (QVariantList{qint64(1001), true}));

        delete std::exchange(window, nullptr);
        client->logout();
        window = new Client_Terminal(client); // logs in with the saved settings
        QTRY_COMPARE(window->accountLogin(), qint64(1001));
        QCOMPARE(client->accountPassword(), QStringLiteral("second"));
        // The old-password check follows the change; choosing the saved login again offers the
        // password the server takes now.
        QTRY_VERIFY(window->findChild<QAction *>(QStringLiteral("actionChangePassword"))->isEnabled());
        changePassword(window->findChild<ChangePasswordDlg *>(), "second", "third");
        auto *login = window->findChild<LoginDialog *>();
        auto *box = login->findChild<QComboBox *>(QStringLiteral("loginBox"));
        QCOMPARE(box->count(), 1);
        login->setPassword(QString());
        box->setCurrentIndex(-1);
        box->setCurrentIndex(0);
        QCOMPARE(login->password(), QStringLiteral("third"));
    }

    // Each tick changes the market watch at once: a symbol ticked again goes to the end.
    void symbolDialog()
    {
        window = new Client_Terminal(client);
        SymbolDataStorage *store = window->symbolStorage();
        QJsonArray array;
        for (const char *name : {"USDJPY", "AUDUSD", "EURUSD", "GBPUSD"})
            array.append(QJsonObject{{"symbol", name}, {"digits", 5}, {"c_size", 1234567}, {"min_vol", 50},
                                     {"max_vol", 5000000}, {"step_vol", 125}, {"path", "Forex"}});
        store->setSymbols({"GBPUSD", "EURUSD", "USDJPY"}, false);
        store->onSymbolListReceived(QJsonObject{{"res_code", 8}, {"array", array}});
        store->setSymbols({"GBPUSD", "EURUSD", "USDJPY"}, true);
        QSignalSpy changes(store, &SymbolDataStorage::symbolListChanged);

        QStringList listed, specification;
        QTimer::singleShot(0, window, [&] {
            auto *dialog = window->findChild<ShowSymbolDialog *>();
            QVERIFY(dialog && dialog->isModal() && dialog->isVisible());
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Show/Hide Symbols"));
            auto *list = child<QListWidget>(dialog, "listWidget");
            for (int i = 0; i < list->count(); ++i)
                listed << list->item(i)->text() + (list->item(i)->checkState() == Qt::Checked ? "+" : "");
            for (const char *symbol : {"GBPUSD", "GBPUSD", "AUDUSD"}) {
                const QRect box = list->visualItemRect(list->findItems(symbol, Qt::MatchExactly).value(0));
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
        QCOMPARE(listed, (QStringList{"AUDUSD", "EURUSD+", "GBPUSD+", "USDJPY+"}));
        QCOMPARE(specification, (QStringList{"EURUSD", "Forex", "", "5", "1.23457e+06", "0.01", "500.00", "0.01"}));
        QCOMPARE(changes.count(), 3);
        QCOMPARE(store->symbolList(), (QStringList{"EURUSD", "USDJPY", "GBPUSD", "AUDUSD"}));
        QVERIFY(!window->findChild<ShowSymbolDialog *>());
    }

private:
    static QByteArray readAll(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // A window whose broker list has arrived, and its demo dialog shown.
    OpenDemoDlg *openDemo()
    {
        window = new Client_Terminal(client);
        if (!QTest::qWaitFor([&] { return window->GetServerList().size() == 1; }, FixturePatienceMs))
            qFatal("no broker list");
        window->openDemoAction();
        return window->findChild<OpenDemoDlg *>();
    }

    static void fill(OpenDemoDlg *dialog, const QString &fields)
    {
        const QStringList texts = fields.split('|');
        for (int i = 0; i < 4; ++i)
            child<QLineEdit>(dialog, std::array{"txtFirstName", "txtLastName", "txtEmail", "txtPhoneNumber"}[i])->setText(texts[i]);
        child<QCheckBox>(dialog, "chk_Agree")->setChecked(true);
    }

    // A window logged into 1001 through the login dialog, with its password saved, and its
    // password dialog shown.
    ChangePasswordDlg *openChangePassword()
    {
        window = new Client_Terminal(client);
        auto *login = window->findChild<LoginDialog *>();
        login->clearServers();
        login->addServer(ServerName, broker->trade.address());
        login->setLogin(1001);
        login->setPassword(QStringLiteral("pw1001"));
        window->connectToBroker();
        auto *action = window->findChild<QAction *>(QStringLiteral("actionChangePassword"));
        if (!QTest::qWaitFor([&] { return action->isEnabled(); }, FixturePatienceMs))
            qFatal("no login");
        action->trigger();
        return window->findChild<ChangePasswordDlg *>();
    }

    static void submit(ChangePasswordDlg *dialog, const QStringList &typed)
    {
        for (int i = 0; i < 3; ++i)
            child<QLineEdit>(dialog, std::array{"txtOld", "txtNew1", "txtNew2"}[i])->setText(typed[i]);
        child<QPushButton>(dialog, "btnOK")->click();
    }

    void changePassword(ChangePasswordDlg *dialog, const QString &oldPassword, const QString &newPassword)
    {
        catcher->seen.clear();
        submit(dialog, {oldPassword, newPassword, newPassword});
        QTRY_COMPARE(catcher->seen, QStringList{"Change Password|Password changed successfully!"});
    }

    Broker *broker = nullptr;
    TradeClient *client = nullptr;
    Client_Terminal *window = nullptr;
    BoxCatcher *catcher = nullptr;
};

CORVANE_TEST_GUI_MAIN(TestAccountDialogs)
#include "tst_accountdialogs.moc"

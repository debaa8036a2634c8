// Logging in: the login dialog and its saved logins, sessions against the simulated trade server
// (automatic login, refusal, switching accounts, losing the connection) and each account's
// workspace files.
#include "client_terminal.h"
#include "loggedinwindow.h"
#include "logger.h"
#include "logindialog.h"
#include "loopback.h"
#include "testmain.h"

#include <QtWidgets>
#include <sys/stat.h>

using corvane_test::MustHappenMs;

namespace {

const QString ServerName = QStringLiteral("Taldrex-Sim");
const QString Folder1001 = QStringLiteral("config/Taldrex-Sim/1001/");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A "charts" file as symbol,panel,period lines: the geometry fields follow the chart area's tiling.
QString chartsWithoutGeometry(const QByteArray &text)
{
    static const QRegularExpression geometry(QStringLiteral("(,[^,\n]*){4}(?=,[^,\n]*$)"), QRegularExpression::MultilineOption);
    return QString::fromUtf8(text).trimmed().remove(geometry).replace('\n', ' ');
}

// The permission bits in octal, as chmod takes them.
QByteArray modeOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? QByteArray::number(info.st_mode & 07777, 8) : "<missing>";
}

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// saveGeometry's bytes of a window maximized from the un-maximized place `normal`, as the
// workspace of a trader who placed the window and then maximized it holds them. The offscreen
// platform loses the normal geometry of a shown window that is maximized, so the bytes come
// from a window never shown.
QByteArray maximizedFrom(const QRect &normal)
{
    QWidget probe;
    probe.setGeometry(normal);
    probe.setWindowState(Qt::WindowMaximized);
    return probe.saveGeometry();
}

void connectAs(Client_Terminal *window, const QString &address, qint64 account, const QString &password)
{
    auto *dialog = window->findChild<LoginDialog *>();
    dialog->clearServers();
    dialog->addServer(ServerName, address);
    dialog->setLogin(account);
    dialog->setPassword(password);
    window->connectToBroker();
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings(QStringLiteral("Taldrex"), QStringLiteral("Client")).clear();
        QDir(QStringLiteral("config")).removeRecursively();
        Client_Terminal::setBrokerListHost(corvane_test::ownLoopbackHost(corvane_test::Loopback::Quiet));
        server = new simbroker::SimTradeServer;
        QVERIFY(server->listen(QHostAddress::LocalHost, 0));
        server->addAccount(1001, QStringLiteral("pw1001"), 10000.0, QStringLiteral("First"));
        server->addAccount(1002, QStringLiteral("pw1002"), 5000.0, QStringLiteral("Second"));
        server->addAccount(3000000001LL, QStringLiteral("pw3"), 1000.0, QStringLiteral("Wide %2"));
        client = newClient();
    }

    void cleanup()
    {
        delete std::exchange(window, nullptr);
        client->shutdown(MustHappenMs);
        delete client;
        delete server;
    }

    // The saved logins the dialog offers, and the server chosen as the broker list arrives: that
    // of the account the box shows, not that of whichever saved login sits at the box's index.
    // OK needs a positive account number.
    void savedLogins_data()
    {
        QTest::addColumn<QStringList>("files"); // "<server>/<account>=<first line of its login file>"
        QTest::addColumn<QString>("lastUsed");  // the "account" setting
        QTest::addColumn<QString>("typed");     // typed over the box after it opened
        QTest::addColumn<QString>("records");   // login|password|server|url, comma-separated
        QTest::addColumn<QString>("server");    // chosen of "Other", "Srv1" and "Srv2", added so
        QTest::addColumn<bool>("accepted");
        QTest::newRow("numeric non-zero account folders only") << QStringList{"Srv1/1001=1001;pw;ws://h:9001", "Srv1/abc=1;x;y", "Srv1/0=0;x;y"}
                                                               << "" << "" << "1001|pw|Srv1|ws://h:9001" << "Srv1" << true;
        QTest::newRow("password holding ';'") << QStringList{"Srv1/1001=1001;p;w;;ws://h"} << "" << "" << "1001|p;w;|Srv1|ws://h" << "Srv1" << true;
        QTest::newRow("unsafe server folder ignored") << QStringList{"back\\slash/5=5;x;u", "Srv2/6=6;y;u"} << "" << "" << "6|y|Srv2|u" << "Srv2" << true;
        const QStringList two{"Srv1/1001=1001;pa;u", "Srv2/1002=1002;pb;u"};
        QTest::newRow("last used is the second saved login") << two << "1002" << "" << "1001|pa|Srv1|u,1002|pb|Srv2|u" << "Srv2" << true;
        QTest::newRow("typed over a saved login") << two << "" << "4711" << "1001|pa|Srv1|u,1002|pb|Srv2|u" << "Other" << true;
        QTest::newRow("typed login not a number") << two << "" << "12a" << "1001|pa|Srv1|u,1002|pb|Srv2|u" << "Other" << false;
    }
    void savedLogins()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, lastUsed);
        QFETCH(QString, typed);
        for (const QString &file : qAsConst(files))
            writeFile("config/" + file.section('=', 0, 0) + "/login", file.section('=', 1).toUtf8());
        QSettings settings(QStringLiteral("Taldrex"), QStringLiteral("Client"));
        settings.setValue(QStringLiteral("account"), lastUsed);
        settings.setValue(QStringLiteral("word"), QStringLiteral("word"));
        LoginDialog dialog;
        QStringList found;
        for (const auto &r : dialog.savedLoginRecords())
            found << QStringLiteral("%1|%2|%3|%4").arg(r.login).arg(r.password, r.server, r.url);
        QTEST(found.join(','), "records");
        if (!typed.isEmpty())
            dialog.findChild<QComboBox *>(QStringLiteral("loginBox"))->setEditText(typed);
        for (const QString name : {"Other", "Srv1", "Srv2"})
            dialog.addServer(name, name + QStringLiteral(":9001"));
        QTEST(dialog.serverName(), "server");
        dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        QTEST(dialog.result() == QDialog::Accepted, "accepted");
    }

    // Account 0, an account that is no number, and a good account without a server: nothing
    // starts, and Disconnect with nothing connected does nothing at all.
    void autoLoginWithBadSettingsStartsNothing()
    {
        QSignalSpy journal(Logger::instance(), &Logger::logMessage);
        QSettings settings(QStringLiteral("Taldrex"), QStringLiteral("Client"));
        for (const QString account : {"0", "10x1", "1001"}) {
            settings.setValue(QStringLiteral("account"), account);
            settings.setValue(QStringLiteral("server"), account == "1001" ? QString() : server->url().toString());
            Client_Terminal window(client);
            journal.clear();
            window.disconnectToBroker();
            QVERIFY2(!client->isRunning() && journal.isEmpty(), qPrintable(account));
        }
    }

    // One box for any number of refusals, and OK offers the dialog again. The refused switch
    // leaves no workspace loaded: closing then must not write the first account's files from
    // the emptied window.
    void refusedLoginShowsOneBoxAndOffersTheDialogAgain()
    {
        writeFile(QStringLiteral("config/Sim/1001/charts"), "EURUSD,1,0,0,800,500,60\n");
        corvane_test::LoggedInWindow s;
        QVERIFY(s.start(1001));
        auto *changePassword = s.window->findChild<QAction *>(QStringLiteral("actionChangePassword"));
        QVERIFY(changePassword->isEnabled());
        s.server->setRefuseLogins(true);
        connectAs(s.window.get(), s.server->address(), 1002, QStringLiteral("pw1002"));
        QTRY_COMPARE_WITH_TIMEOUT(s.window->findChildren<QMessageBox *>().size(), 1, MustHappenMs);
        QVERIFY(!changePassword->isEnabled()); // no account is logged in now
        auto *box = s.window->findChild<QMessageBox *>();
        QCOMPARE(box->text(), QStringLiteral("Connecting to trade server failed. Try again your login."));
        s.window->onLoginFailed(); // another refusal while the box is open
        QCOMPARE(s.window->findChildren<QMessageBox *>().size(), 1);
        s.window->findChild<LoginDialog *>()->hide();
        box->button(QMessageBox::Ok)->click();
        QVERIFY(s.window->findChild<LoginDialog *>()->isVisible());
        s.window->onLoginFailed(); // before the closed box is deleted: a box of its own all the same
        QTRY_VERIFY_WITH_TIMEOUT(s.window->findChildren<QMessageBox *>().size() == 1 && s.window->findChild<QMessageBox *>()->isVisible(),
                                 MustHappenMs);
        s.window->close();
        QCOMPARE(chartsWithoutGeometry(readAll(QStringLiteral("config/Sim/1001/charts"))), QStringLiteral("EURUSD,1,60"));
    }

    // Switching to another account, with the old connection alive or lost (its reminder
    // sounding, the server refusing every login from then on).
    void switchingAccountKeepsTheOldWorkspace_data()
    {
        QTest::addColumn<bool>("throughRelogin");
        QTest::addColumn<bool>("lost");
        QTest::newRow("login dialog") << false << false;
        QTest::newRow("relogin") << true << false;
        QTest::newRow("login dialog after a lost connection") << false << true;
        QTest::newRow("relogin after a lost connection") << true << true;
    }
    void switchingAccountKeepsTheOldWorkspace()
    {
        QFETCH(bool, throughRelogin);
        QFETCH(bool, lost);
        const QByteArray charts = "EURUSD,1,0,0,800,500,60\nGBPUSD,0,0,0,800,500,5\n";
        writeFile(Folder1001 + "charts", charts);
        window = new Client_Terminal(client);
        connectAs(window, server->address(), 1001, QStringLiteral("pw1001")); // "Save Password" is ticked as the dialog opens
        QTRY_COMPARE_WITH_TIMEOUT(window->windowTitle(), QStringLiteral("First(1001, Taldrex-Sim)"), MustHappenMs);
        const QString settingsFile = QSettings(QStringLiteral("Taldrex"), QStringLiteral("Client")).fileName();
        QCOMPARE(modeOf(settingsFile), "600"); // it holds the password
        QVERIFY(::chmod(qPrintable(settingsFile), 0644) == 0); // as an earlier version left it
        auto *reminder = window->findChild<QTimer *>(QStringLiteral("disconnectedSoundTimer"));
        if (lost) {
            server->setRefuseLogins(true);
            server->dropConnections();
            QTRY_VERIFY_WITH_TIMEOUT(reminder->isActive(), MustHappenMs);
        }
        QSignalSpy sounds(window, &Client_Terminal::soundPlayed);

        // Ending the old connection must neither sound the reminder nor write the old account's
        // workspace again once the new account's charts have replaced it; the reminder of a lost
        // one ends before the new login is accepted. The demo service can hand out an account
        // past 32 bits: relogin must carry it whole. The dialog names the same server another
        // way, so a line written once the client runs the new connection would show it.
        if (throughRelogin)
            window->relogin(3000000001LL, QStringLiteral("pw3"), ServerName);
        else
            connectAs(window, QStringLiteral("localhost:%1").arg(server->serverPort()), 1002, QStringLiteral("pw1002"));
        QVERIFY(!reminder->isActive());
        if (!lost) {
            QTRY_COMPARE_WITH_TIMEOUT(window->windowTitle(), throughRelogin ? "Wide %2(3000000001, Taldrex-Sim)" : "Second(1002, Taldrex-Sim)",
                                      MustHappenMs);
            QCOMPARE(modeOf(settingsFile), "600"); // saved again over the file
        }
        QCOMPARE(chartsWithoutGeometry(readAll(Folder1001 + "charts")), chartsWithoutGeometry(charts));
        QCOMPARE(readAll(Folder1001 + "login"), "1001;pw1001;" + server->url().toString().toUtf8());
        QVERIFY(lost || !sounds.contains({QStringLiteral(":/sound/disconnected.wav")})); // a refusal sounds it
    }

    void sessionKeptForTheSameServerUntilDisconnect()
    {
        // Each workspace file in a form the window never writes, so any save shows. The chart
        // keeper caches history beside them in its own time: that folder is not looked at.
        const QString folder = QStringLiteral("config/Taldrex-Sim/3000000001/");
        const QMap<QString, QByteArray> workspace{{"login", "3000000001;pw3;ws://old:1"},
                                                  {"symbols", "EURUSD  GBPUSD"},
                                                  {"charts", "EURUSD,1,0,0,800,500,60\r\n"},
                                                  {"layout", "not a geometry"},
                                                  {"windowState", "not a state"}};
        for (auto file = workspace.cbegin(); file != workspace.cend(); ++file)
            writeFile(folder + file.key(), file.value());
        window = new Client_Terminal(client);
        const QString port = QString::number(server->serverPort());
        connectAs(window, QStringLiteral("localhost:") + port, 3000000001LL, QStringLiteral("pw3"));
        // The account refresh after the login names the whole account, not its low 32 bits.
        QTRY_COMPARE_WITH_TIMEOUT(server->receivedRequests(4).size(), 1, MustHappenMs);
        QCOMPARE(server->receivedRequests(4).first().value("login").toVariant().toLongLong(), 3000000001LL);
        QSignalSpy logins(server, &simbroker::SimTradeServer::loginHandled);
        QMdiSubWindow *chart = window->findChild<QMdiArea *>()->addSubWindow(new QWidget);

        // The host in other letters names the same server: nothing saved or cleared, no new login
        // (a new connection would log in before a request sent behind it arrives).
        connectAs(window, QStringLiteral("LocalHost:") + port, 3000000001LL, QStringLiteral("pw3"));
        corvane_test::settleAt(*client, *server);
        for (auto file = workspace.cbegin(); file != workspace.cend(); ++file)
            QCOMPARE(readAll(folder + file.key()), file.value());
        QVERIFY(window->findChild<QMdiArea *>()->subWindowList().contains(chart));
        QCOMPARE(logins.count(), 0);

        // Disconnect ends the reminder of the lost connection and logs out once, however often
        // it is chosen; whatever is still queued must not start the reminder again.
        auto *reminder = window->findChild<QTimer *>(QStringLiteral("disconnectedSoundTimer"));
        server->dropConnections();
        QTRY_VERIFY_WITH_TIMEOUT(reminder->isActive(), MustHappenMs);
        QSignalSpy journal(Logger::instance(), &Logger::logMessage);
        window->disconnectToBroker();
        window->disconnectToBroker();
        QCoreApplication::processEvents();
        QVERIFY(!reminder->isActive());
        QCOMPARE(journal.size(), 1);
        QCOMPARE(journal.first().at(2).toString(), "3000000001 Log out from " + ServerName);
    }

    // The workspace saves back as it was restored: each symbol's first restorable charts line,
    // with a period a chart can run with.
    void workspaceRoundTrip_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("saved");
        // A period below one minute would divide by zero at the chart's first tick.
        QTest::newRow("period 0") << "EURUSD,1,0,0,800,500,0" << "EURUSD,1,1";
        QTest::newRow("negative period") << "EURUSD,0,4,23,792,470,-5" << "EURUSD,0,1";
        QTest::newRow("period not a number") << "EURUSD,1,0,0,800,500,H1" << "EURUSD,1,1";
        QTest::newRow("five fields: the symbol's next line") << "EURUSD,1,0,0,800" << "EURUSD,0,240";
        QTest::newRow("'%' in a symbol") << "X%1,1,0,0,800,500,60" << "X%1,1,60 EURUSD,0,240";
    }

    void workspaceRoundTrip()
    {
        QFETCH(QString, line);
        writeFile(Folder1001 + "symbols", "GBPUSD\nEURUSD USDJPY\n");
        writeFile(Folder1001 + "charts", line.toUtf8() + "\r\nEURUSD,0,0,0,10,10,240\n");
        window = new Client_Terminal(client);
        window->restoreLayout(1001, ServerName);
        window->resize(900, 700);
        window->saveLayout(1001, "p;w", ServerName, "ws://h:1", window->symbolStorage()->symbolList());
        QCOMPARE(readAll(Folder1001 + "login"), QByteArray("1001;p;w;ws://h:1"));
        QCOMPARE(modeOf(Folder1001 + "login"), "600");
        QCOMPARE(readAll(Folder1001 + "symbols"), QByteArray("GBPUSD\nEURUSD\nUSDJPY\n"));
        QTEST(chartsWithoutGeometry(readAll(Folder1001 + "charts")), "saved");
        delete window;
        window = new Client_Terminal(client);
        window->restoreLayout(1001, ServerName);
        QCOMPARE(window->size(), QSize(900, 700));
        // Saved over a login file readable by all, as an earlier version left it.
        QVERIFY(::chmod(qPrintable(Folder1001 + "login"), 0644) == 0);
        window->saveLayout(1001, "q", ServerName, "ws://h:1", {});
        QCOMPARE(readAll(Folder1001 + "login") + ' ' + modeOf(Folder1001 + "login"), "1001;q;ws://h:1 600");
    }

    // Logging in again and starting again (shown maximized, as the program starts) leave the
    // window where and as the trader left it; un-maximized after the restart, it takes the place
    // it had before it was maximized.
    void windowKeepsItsPlaceThroughLoginsAndRestart_data()
    {
        QTest::addColumn<bool>("maximized");
        QTest::addColumn<QRect>("normalPlace"); // of a maximized window, in the workspace at the restart
        QTest::newRow("maximized") << true << QRect();
        QTest::newRow("normal") << false << QRect();
        QTest::newRow("maximized, un-maximized after the restart") << true << QRect(130, 90, 700, 440);
    }
    void windowKeepsItsPlaceThroughLoginsAndRestart()
    {
        QFETCH(bool, maximized);
        QFETCH(QRect, normalPlace);
        // The test screen (800 x 600) is narrower than the Toolbox's least width and the summary
        // line: a window that cannot shrink to the screen is un-maximized by its own layout.
        const auto fitScreen = [](Client_Terminal *w) {
            for (QDockWidget *dock : w->findChildren<QDockWidget *>()) {
                dock->setMinimumSize(0, 0);
                if (auto *line = qobject_cast<QLabel *>(dock->titleBarWidget()))
                    line->setWordWrap(true);
            }
        };
        window = new Client_Terminal(client);
        fitScreen(window);
        window->showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        if (!maximized) {
            window->showNormal();
            window->setGeometry(130, 90, 900, 640);
        }
        QRect left;
        for (int logins = 1; logins <= 4; ++logins) {
            window->disconnectToBroker();
            connectAs(window, server->address(), 1001, QStringLiteral("pw1001"));
            QTRY_COMPARE_WITH_TIMEOUT(server->receivedRequests(4).size(), logins, MustHappenMs); // the refresh after the layout's restore
            QCOMPARE(window->isMaximized(), maximized);
            if (logins == 1)
                left = window->geometry(); // as wide as the summary line the login brought
            QCOMPARE(window->geometry(), left);
        }
        window->close();
        delete std::exchange(window, nullptr);
        if (normalPlace.isValid())
            writeFile(Folder1001 + "layout", maximizedFrom(normalPlace));
        client->shutdown(MustHappenMs);
        delete std::exchange(client, newClient());
        window = new Client_Terminal(client); // logs in with the saved password
        fitScreen(window);
        window->showMaximized();
        QTRY_COMPARE_WITH_TIMEOUT(server->receivedRequests(4).size(), 5, MustHappenMs);
        QTRY_COMPARE_WITH_TIMEOUT(window->isMaximized(), maximized, MustHappenMs);
        QTRY_COMPARE_WITH_TIMEOUT(window->geometry(), left, MustHappenMs);
        if (normalPlace.isValid()) {
            window->showNormal();
            QTRY_COMPARE_WITH_TIMEOUT(window->geometry(), normalPlace, MustHappenMs);
        }
    }

    void unsafeServerNamesKeepNoWorkspace()
    {
        window = new Client_Terminal(client);
        writeFile(QStringLiteral("1001/symbols"), "PLANTED\n"); // outside the workspace tree
        for (const char *name : {"..", ".", "a/b", "/", "a\\b", ""}) {
            window->saveLayout(1001, QStringLiteral("secret"), QLatin1String(name), QStringLiteral("ws://h:1"), {"X"});
            window->restoreLayout(1001, QLatin1String(name));
            QVERIFY2(!QDir(QStringLiteral("config")).exists() && window->symbolStorage()->symbolList().isEmpty(), name);
        }
        QCOMPARE(readAll(QStringLiteral("1001/symbols")), QByteArray("PLANTED\n"));
        // A safe name is one folder, taken as it stands, '%' included.
        window->saveLayout(1001, QStringLiteral("secret"), QStringLiteral("Srv%2"), QStringLiteral("ws://h:1"), {"X"});
        QCOMPARE(readAll(QStringLiteral("config/Srv%2/1001/symbols")), QByteArray("X\n"));
    }

private:
    // No row here is about the keep-alive, and this process hosts the server.
    static TradeClient *newClient()
    {
        auto *client = new TradeClient;
        client->setKeepAlive(corvane_test::KeepAliveOutOfTheWayMs);
        return client;
    }

    simbroker::SimTradeServer *server = nullptr;
    TradeClient *client = nullptr;
    Client_Terminal *window = nullptr;
};

CORVANE_TEST_GUI_MAIN(TestSession)
#include "tst_session.moc"

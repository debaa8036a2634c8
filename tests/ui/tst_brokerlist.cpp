// The broker list: which servers a reply yields, what the window keeps of each reply, and the
// trade-server address built from a server entry.
#include "brokerlist.h"
#include "brokerlistservice.h"
#include "client_terminal.h"
#include "logindialog.h"
#include "testmain.h"
#include "tradeclient.h"

#include <QAction>
#include <QComboBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>

namespace {

// Addresses of this test's own; the service always listens on port 9000.
const QHostAddress ServiceAddress(QStringLiteral("127.55.0.1"));
const QString SilentHost = QStringLiteral("127.55.0.2"); // nothing listens there

QStringList names(const QList<ServerInfo> &servers)
{
    QStringList result;
    for (const ServerInfo &server : servers)
        result << server.name;
    return result;
}

QStringList dialogServers(LoginDialog *dialog)
{
    QStringList result;
    const auto *box = dialog->findChild<QComboBox *>(QStringLiteral("serverBox"));
    for (int i = 0; box && i < box->count(); ++i)
        result << box->itemText(i);
    return result;
}

} // namespace

class TestBrokerList : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("isArray");
        QTest::addColumn<QStringList>("servers");

        QTest::newRow("name filter, any case and place")
            << QByteArray(R"([{"servers":[{"name":"Taldrex-Demo","ipaddr":"h:1","brokerId":3},
                                          {"name":"Northwind","ipaddr":"n"},
                                          {"name":"my TALDREX live","ipaddr":"l"}]},
                              {"servers":[{"name":"xTaLdReXx","ipaddr":"x"}]}])")
            << true << QStringList{"Taldrex-Demo", "my TALDREX live", "xTaLdReXx"};
        QTest::newRow("broker without servers")
            << QByteArray(R"([{"name":"b"},{"servers":[]},{"servers":[{"name":"Taldrex"}]}])") << true
            << QStringList{"Taldrex"};
        QTest::newRow("empty array") << QByteArray("[]") << true << QStringList{};
        QTest::newRow("object") << QByteArray(R"({"servers":[{"name":"Taldrex"}]})") << false
                                << QStringList{};
        QTest::newRow("not json") << QByteArray("<html>") << false << QStringList{};
        QTest::newRow("no name") << QByteArray(R"([{"servers":[{"ipaddr":"h"}]}])") << true
                                 << QStringList{};
    }

    void parse()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, isArray);
        QFETCH(QStringList, servers);
        bool array = !isArray;
        const QList<ServerInfo> parsed = BrokerList::parse(body, &array);
        QCOMPARE(array, isArray);
        QCOMPARE(names(parsed), servers);
    }

    void serverFields()
    {
        bool array = false;
        const QList<ServerInfo> parsed = BrokerList::parse(
            R"([{"servers":[{"name":"Taldrex-Demo","ipaddr":"10.0.0.1:9002","brokerId":7},
                            {"name":"Taldrex"}]}])",
            &array);
        QCOMPARE(parsed.size(), 2);
        QCOMPARE(parsed.at(0).ipaddr, QStringLiteral("10.0.0.1:9002"));
        QCOMPARE(parsed.at(0).brokerId, QStringLiteral("7"));
        QCOMPARE(parsed.at(1).ipaddr, QString());
        QCOMPARE(parsed.at(1).brokerId, QStringLiteral("0"));
    }

    void tradeServerUrl_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("url");
        QTest::newRow("host") << "h" << "ws://h:9001";
        QTest::newRow("host and port") << "h:1" << "ws://h:1";
        QTest::newRow("address") << "127.0.0.1" << "ws://127.0.0.1:9001";
        QTest::newRow("colon anywhere") << ":80" << "ws://:80";
    }

    void tradeServerUrl()
    {
        QFETCH(QString, address);
        QFETCH(QString, url);
        QCOMPARE(BrokerList::tradeServerUrl(address), url);
    }

    void windowTakesTheListAndFreesEachReply()
    {
        BrokerListService service;
        QVERIFY(service.listen(ServiceAddress, BrokerList::ServicePort));
        Client_Terminal::setBrokerListHost(ServiceAddress.toString());
        TradeClient client;
        Client_Terminal window(&client);
        auto *manager = window.findChild<QNetworkAccessManager *>();
        QVERIFY(manager);
        QList<QPointer<QNetworkReply>> replies;
        connect(manager, &QNetworkAccessManager::finished, this,
                [&](QNetworkReply *reply) { replies << reply; });

        QTRY_COMPARE(names(window.GetServerList()), QStringList({"Taldrex-Demo", "TALDREX Live"}));
        auto *dialog = window.findChild<LoginDialog *>();
        QCOMPARE(dialogServers(dialog), QStringList({"Taldrex-Demo", "TALDREX Live"}));
        QCOMPARE(service.requestCount(), 1);
        QTRY_VERIFY(!replies.isEmpty() && replies.first().isNull());

        // A reply that is no array empties the list but keeps the dialog's entries. The Connect
        // button asks for the list again just as the File menu's entry does.
        service.setReplyBody(R"({"error":"maintenance"})");
        window.findChild<QAction *>(QStringLiteral("actionConnect"))->trigger();
        QVERIFY(dialog->isVisible());
        QTRY_COMPARE(replies.size(), 2);
        QVERIFY(window.GetServerList().isEmpty());
        QCOMPARE(dialogServers(dialog), QStringList({"Taldrex-Demo", "TALDREX Live"}));

        // An empty array empties both.
        service.setReplyBody("[]");
        window.on_actionLogin_to_Trade_Account_triggered();
        QTRY_COMPARE(replies.size(), 3);
        QVERIFY(dialogServers(dialog).isEmpty());
        QTRY_VERIFY(replies.last().isNull());
    }

    void networkErrorKeepsTheLastList()
    {
        BrokerListService service;
        QVERIFY(service.listen(ServiceAddress, BrokerList::ServicePort));
        Client_Terminal::setBrokerListHost(ServiceAddress.toString());
        TradeClient client;
        Client_Terminal window(&client);
        QTRY_COMPARE(window.GetServerList().size(), 2);
        auto *manager = window.findChild<QNetworkAccessManager *>();
        QSignalSpy finished(manager, &QNetworkAccessManager::finished);

        service.setReplyBody("[]", 500);
        window.on_actionLogin_to_Trade_Account_triggered();
        QVERIFY(finished.wait());
        service.close();
        window.on_actionLogin_to_Trade_Account_triggered();
        QVERIFY(finished.wait());
        QCOMPARE(window.GetServerList().size(), 2);
        QCOMPARE(dialogServers(window.findChild<LoginDialog *>()).size(), 2);
    }

    void noServiceStartsWithAnEmptyList()
    {
        Client_Terminal::setBrokerListHost(SilentHost);
        TradeClient client;
        Client_Terminal window(&client);
        QSignalSpy finished(window.findChild<QNetworkAccessManager *>(), &QNetworkAccessManager::finished);
        QVERIFY(finished.wait());
        QVERIFY(window.GetServerList().isEmpty());
    }
};

CORVANE_TEST_GUI_MAIN(TestBrokerList)
#include "tst_brokerlist.moc"

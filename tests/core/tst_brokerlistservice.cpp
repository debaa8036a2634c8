// The test broker-list service answers as scripted.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>

#include "brokerlistservice.h"
#include "testmain.h"

namespace {

struct Fetched {
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
};

Fetched fetch(QNetworkAccessManager &manager, const QUrl &url, const QByteArray &verb = "GET")
{
    QNetworkRequest request(url);
    QNetworkReply *reply = manager.sendCustomRequest(request, verb);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(10000);
    Fetched result;
    result.error = reply->error();
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    reply->deleteLater();
    return result;
}

} // namespace

class TestBrokerListService : public QObject
{
    Q_OBJECT

private slots:
    void defaultListHasKeptAndDroppedServers()
    {
        BrokerListService service;
        QVERIFY(service.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        QNetworkAccessManager manager;
        QSignalSpy requests(&service, &BrokerListService::requestReceived);
        const Fetched got = fetch(manager, service.brokersUrl());
        QCOMPARE(got.error, QNetworkReply::NoError);
        QCOMPARE(got.status, 200);
        QCOMPARE(requests.count(), 1);
        QCOMPARE(requests.first().at(0).toString(), QStringLiteral("GET"));
        QCOMPARE(requests.first().at(1).toString(), QStringLiteral("/brokers"));

        const QJsonDocument doc = QJsonDocument::fromJson(got.body);
        QVERIFY(doc.isArray());
        QStringList kept, dropped;
        for (const QJsonValue &broker : doc.array())
            for (const QJsonValue &server : broker.toObject().value(QStringLiteral("servers")).toArray()) {
                const QJsonObject s = server.toObject();
                QVERIFY(s.value(QStringLiteral("brokerId")).isDouble());
                QVERIFY(!s.value(QStringLiteral("ipaddr")).toString().isEmpty());
                const QString name = s.value(QStringLiteral("name")).toString();
                (name.contains(QLatin1String("taldrex"), Qt::CaseInsensitive) ? kept : dropped) << name;
            }
        QCOMPARE(kept.size(), 2);
        QCOMPARE(dropped.size(), 1);
    }

    void scriptedReplies_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("close");
        QTest::addColumn<QByteArray>("verb");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("expectedStatus");
        QTest::addColumn<QByteArray>("expectedBody");
        QTest::addColumn<bool>("expectError");

        QTest::newRow("non-array body") << QByteArray("{\"brokers\":[]}") << 200 << false << QByteArray("GET")
                                        << "/brokers" << 200 << QByteArray("{\"brokers\":[]}") << false;
        QTest::newRow("empty array") << QByteArray("[]") << 200 << false << QByteArray("GET") << "/brokers" << 200
                                     << QByteArray("[]") << false;
        QTest::newRow("server error") << QByteArray("oops") << 503 << false << QByteArray("GET") << "/brokers"
                                      << 503 << QByteArray("oops") << true;
        QTest::newRow("connection closed") << QByteArray("[]") << 200 << true << QByteArray("GET") << "/brokers"
                                           << 0 << QByteArray() << true;
        QTest::newRow("other path") << QByteArray("[]") << 200 << false << QByteArray("GET") << "/servers" << 404
                                    << QByteArray() << true;
        QTest::newRow("other method") << QByteArray("[]") << 200 << false << QByteArray("POST") << "/brokers"
                                      << 405 << QByteArray() << true;
        QTest::newRow("query ignored") << QByteArray("[1]") << 200 << false << QByteArray("GET")
                                       << "/brokers?x=1" << 200 << QByteArray("[1]") << false;
    }

    void scriptedReplies()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(bool, close);
        QFETCH(QByteArray, verb);
        QFETCH(QString, path);

        BrokerListService service;
        QVERIFY(service.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        service.setReplyBody(body, status);
        if (close)
            service.setCloseWithoutReply();
        QNetworkAccessManager manager;
        QUrl url = service.brokersUrl();
        url = url.resolved(QUrl(path));
        const Fetched got = fetch(manager, url, verb);
        QTEST(got.status, "expectedStatus");
        QTEST(got.body, "expectedBody");
        QTEST(got.error != QNetworkReply::NoError, "expectError");
        // The client may send a GET once more after the connection was dropped unanswered.
        const int first = service.requestCount();
        QVERIFY(first == 1 || (close && first > 1));

        // The script stays in force for the next request.
        const Fetched again = fetch(manager, url, verb);
        QTEST(again.status, "expectedStatus");
        QVERIFY(service.requestCount() > first);
    }

    void listensOnLoopbackOnly()
    {
        BrokerListService service;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("loopback")));
        QVERIFY(!service.listen(QHostAddress::Any, 0));
        QVERIFY(!service.isListening());
        QVERIFY(service.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        QVERIFY(service.serverPort() != 0);
        QCOMPARE(service.brokersUrl().path(), QStringLiteral("/brokers"));
    }

    void oversizedRequestHeadIsDropped()
    {
        BrokerListService service;
        QVERIFY(service.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        QTcpSocket socket;
        socket.connectToHost(service.serverAddress(), service.serverPort());
        QVERIFY(socket.waitForConnected(5000));
        QSignalSpy disconnected(&socket, &QTcpSocket::disconnected);
        socket.write("GET /brokers HTTP/1.1\r\nX-Filler: " + QByteArray(20000, 'a'));
        QVERIFY(disconnected.wait(5000));
        QCOMPARE(service.requestCount(), 0);
    }
};

CORVANE_TEST_MAIN(TestBrokerListService)
#include "tst_brokerlistservice.moc"

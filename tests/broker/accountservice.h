#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

class QTcpServer;
class QTcpSocket;

namespace simbroker {

class SimTradeServer;

// The broker's account web service for tests and scripts/run: HTTP on a loopback address,
// port 9004 by default, beside the trade server whose accounts it manages.
//
//   POST /account/create {"name","email","phone","leverage","password","amount","group",
//                         "manager_login","manager_password"}
//        -> 200 {"login": <new account>, "password": <its password>}; the account exists in the
//           trade server at once, with "amount" as its balance and the password asked for.
//   POST /account/update {"password","dealer","manager_login","manager_password"}
//        -> 200 {"result": "ok"}; the old password stops working at once.
// A body that is not such an object is answered 400, wrong manager credentials 403, an
// unknown dealer 404, other paths 404 and other methods 405.
//
// Tests script what it does with each following request instead (until serveNormally()):
// any status with any body (a refusal, an HTTP 500, a body that is not JSON) or no answer at
// all, whose held requests can be answered later; or a body that never ends (at once, or after
// its first chunk once the test lets it go on); or they redirect
// the next request. Every
// complete request is recorded. It lives in the thread that owns it and listens on loopback
// addresses only.
class AccountService : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 DefaultPort = 9004;
    static const QString ManagerPassword;
    static constexpr qint64 ManagerLogin = 1000;

    struct Request
    {
        QString method;
        QString path;
        QByteArray contentType;
        QByteArray body;
        QJsonObject json;   // empty unless the body is one JSON object
    };

    // A created account, as the service opened it.
    struct CreatedAccount
    {
        qint64 login = 0;
        QString password;
        QString name;
        qint64 amount = 0;
        qint64 leverage = 0;
    };

    explicit AccountService(SimTradeServer *tradeServer, QObject *parent = nullptr);
    ~AccountService() override;

    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = DefaultPort);
    void close();
    QHostAddress serverAddress() const;
    quint16 serverPort() const;

    // The account number the next create hands out (skipping numbers the trade server has).
    void setNextLogin(qint64 login) { nextLogin = login; }

    // Scripts for every following request.
    void answerWith(int status, const QByteArray &body);
    // Answers the next request with `status` and a Location header, then goes on as scripted
    // before (serving, unless told otherwise); a POST keeps its method and body only through 307
    // and 308.
    void redirectTo(const QUrl &target, int status = 307);
    // Answers 200 with a body that never ends, up to EndlessLimit bytes. With `firstChunkOnly`,
    // each such body stops after its first chunk until releaseEndless().
    void answerEndlessly(bool firstChunkOnly = false);
    void releaseEndless();
    static constexpr qint64 EndlessLimit = 256LL * 1024 * 1024;
    // Reads the request and keeps the connection open without answering.
    void holdRequests();
    void serveNormally();
    // Answers the oldest `count` held requests as scripted since (as the service normally
    // would, unless answerWith or answerEndlessly came after holdRequests).
    void answerHeld(int count = -1);
    // Bytes of endless bodies handed to the network so far.
    qint64 streamedBytes() const { return streamed; }

    QList<Request> requests() const { return received; }
    QList<CreatedAccount> createdAccounts() const { return created; }

signals:
    void requestReceived(const QString &method, const QString &path);

private:
    enum class Mode { Serve, Fixed, Hold, Endless };
    struct Answer
    {
        int status = 200;
        QByteArray body;
        QByteArray location;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    Answer serve(const Request &request);
    Answer create(const QJsonObject &body);
    Answer update(const QJsonObject &body);
    void respond(QTcpSocket *socket, const Answer &answer);
    void answer(QTcpSocket *socket, const Request &request);

    QTcpServer *server;
    QPointer<SimTradeServer> trade;
    Mode mode = Mode::Serve;
    bool endlessHeld = false;
    QList<std::function<void()>> endlessReleases;
    qint64 streamed = 0;
    Answer scripted;
    bool redirectNext = false;
    Answer redirect;
    qint64 nextLogin = 50000001;
    QList<Request> received;
    QList<CreatedAccount> created;
    QList<QPair<QPointer<QTcpSocket>, Request>> held;
};

} // namespace simbroker

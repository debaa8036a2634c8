#include "accountservice.h"

#include "brokerlistservice.h"
#include "simtradeserver.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <QTcpServer>
#include <QTcpSocket>
#include <limits>
#include <utility>

namespace simbroker {

const QString AccountService::ManagerPassword = QStringLiteral("Harbour482#");

namespace {

// Requests of this service are a few hundred bytes; anything far larger is not one of ours.
constexpr int kMaxRequest = 64 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray errorBody(const QString &message)
{
    return json({{QStringLiteral("error"), message}});
}

// A JSON number holding a whole number; false for anything else (strings included).
bool wholeNumber(const QJsonValue &value, qint64 *out)
{
    if (!value.isDouble())
        return false;
    const QVariant exact = value.toVariant();
    if (exact.type() == QVariant::LongLong || exact.type() == QVariant::Int) {
        *out = exact.toLongLong();
        return true;
    }
    const double d = value.toDouble();
    if (d != qint64(d))
        return false;
    *out = qint64(d);
    return true;
}

} // namespace

AccountService::AccountService(SimTradeServer *tradeServer, QObject *parent)
    : QObject(parent), server(new QTcpServer(this)), trade(tradeServer)
{
    connect(server, &QTcpServer::newConnection, this, &AccountService::onNewConnection);
}

AccountService::~AccountService() = default;

bool AccountService::listen(const QHostAddress &address, quint16 port)
{
    if (!address.isLoopback()) {
        qWarning("AccountService listens on loopback addresses only, not %s", qPrintable(address.toString()));
        return false;
    }
    return server->listen(address, port);
}

void AccountService::close()
{
    server->close();
}

QHostAddress AccountService::serverAddress() const
{
    return server->serverAddress();
}

quint16 AccountService::serverPort() const
{
    return server->serverPort();
}

void AccountService::answerWith(int status, const QByteArray &body)
{
    mode = Mode::Fixed;
    scripted = Answer{status, body, QByteArray()};
}

void AccountService::redirectTo(const QUrl &target, int status)
{
    redirectNext = true;
    redirect = Answer{status, QByteArray(), target.toEncoded()};
}

void AccountService::answerEndlessly(bool firstChunkOnly)
{
    mode = Mode::Endless;
    endlessHeld = firstChunkOnly;
}

void AccountService::releaseEndless()
{
    for (const auto &release : std::exchange(endlessReleases, {}))
        release();
}

void AccountService::holdRequests()
{
    mode = Mode::Hold;
}

void AccountService::serveNormally()
{
    mode = Mode::Serve;
    redirectNext = false;
}

void AccountService::answerHeld(int count)
{
    while (!held.isEmpty() && count-- != 0) {
        const auto entry = held.takeFirst();
        if (entry.first)
            answer(entry.first, entry.second);
    }
}

void AccountService::onNewConnection()
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
    }
}

void AccountService::onReadyRead(QTcpSocket *socket)
{
    if (socket->property("complete").toBool()) {
        socket->readAll();
        return;
    }
    const QByteArray data = socket->property("data").toByteArray() + socket->readAll();
    if (data.size() > kMaxRequest) {
        socket->abort();
        return;
    }
    const int headEnd = data.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        socket->setProperty("data", data);
        return;
    }
    const QList<QByteArray> lines = data.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    qint64 length = 0;
    QByteArray contentType;
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines[i].indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = lines[i].left(colon).trimmed().toLower();
        const QByteArray value = lines[i].mid(colon + 1).trimmed();
        if (name == "content-length")
            length = value.toLongLong();
        else if (name == "content-type")
            contentType = value;
    }
    if (length < 0 || length > kMaxRequest) {
        socket->abort();
        return;
    }
    if (data.size() - (headEnd + 4) < length) {
        socket->setProperty("data", data);
        return;
    }
    socket->setProperty("complete", true);
    socket->setProperty("data", QVariant());

    if (requestLine.size() != 3 || !requestLine[2].startsWith("HTTP/")) {
        respond(socket, Answer{400, QByteArray(), QByteArray()});
        return;
    }
    Request request;
    request.method = QString::fromLatin1(requestLine[0]);
    request.path = QUrl(QString::fromLatin1(requestLine[1])).path();
    request.contentType = contentType;
    request.body = data.mid(headEnd + 4, int(length));
    const QJsonDocument document = QJsonDocument::fromJson(request.body);
    if (document.isObject())
        request.json = document.object();
    received.append(request);
    emit requestReceived(request.method, request.path);

    if (std::exchange(redirectNext, false))
        respond(socket, redirect);
    else if (mode == Mode::Hold)
        held.append({QPointer<QTcpSocket>(socket), request});
    else
        answer(socket, request);
}

void AccountService::answer(QTcpSocket *socket, const Request &request)
{
    switch (mode) {
    case Mode::Serve:
    case Mode::Hold:
        respond(socket, serve(request));
        break;
    case Mode::Fixed:
        respond(socket, scripted);
        break;
    case Mode::Endless:
        endlessReleases.append(streamEndlessReply(this, socket, QByteArray(R"({"login":1,"password":"x"},)").repeated(1024),
                                                  &streamed, EndlessLimit, endlessHeld));
        break;
    }
}

AccountService::Answer AccountService::serve(const Request &request)
{
    const bool create = request.path == QLatin1String("/account/create");
    if (!create && request.path != QLatin1String("/account/update"))
        return Answer{404, errorBody(QStringLiteral("no such service")), QByteArray()};
    if (request.method != QLatin1String("POST"))
        return Answer{405, errorBody(QStringLiteral("POST only")), QByteArray()};
    if (QJsonDocument::fromJson(request.body).isNull() || !QJsonDocument::fromJson(request.body).isObject())
        return Answer{400, errorBody(QStringLiteral("a JSON object is expected")), QByteArray()};
    qint64 manager = 0;
    if (!wholeNumber(request.json.value(QStringLiteral("manager_login")), &manager) || manager != ManagerLogin
        || request.json.value(QStringLiteral("manager_password")).toString() != ManagerPassword)
        return Answer{403, errorBody(QStringLiteral("manager not authorised")), QByteArray()};
    return create ? this->create(request.json) : update(request.json);
}

AccountService::Answer AccountService::create(const QJsonObject &body)
{
    qint64 amount = 0;
    qint64 leverage = 0;
    const QString password = body.value(QStringLiteral("password")).toString();
    const QString name = body.value(QStringLiteral("name")).toString();
    if (!wholeNumber(body.value(QStringLiteral("amount")), &amount) || amount <= 0
        || !wholeNumber(body.value(QStringLiteral("leverage")), &leverage) || leverage <= 0
        || password.isEmpty() || name.trimmed().isEmpty()
        || body.value(QStringLiteral("group")).toString() != QLatin1String("demo"))
        return Answer{400, errorBody(QStringLiteral("incomplete sign-up")), QByteArray()};
    if (!trade)
        return Answer{500, errorBody(QStringLiteral("no trade server")), QByteArray()};

    while (trade->hasAccount(nextLogin))
        ++nextLogin;
    const qint64 login = nextLogin++;
    trade->addAccount(login, password, double(amount), name, QStringLiteral("demo"),
                      int(qMin<qint64>(leverage, std::numeric_limits<int>::max())));
    created.append(CreatedAccount{login, password, name, amount, leverage});
    return Answer{200, json({{QStringLiteral("login"), login}, {QStringLiteral("password"), password}}),
                  QByteArray()};
}

AccountService::Answer AccountService::update(const QJsonObject &body)
{
    qint64 dealer = 0;
    const QString password = body.value(QStringLiteral("password")).toString();
    if (!wholeNumber(body.value(QStringLiteral("dealer")), &dealer) || password.isEmpty())
        return Answer{400, errorBody(QStringLiteral("dealer and password expected")), QByteArray()};
    if (!trade || !trade->hasAccount(dealer))
        return Answer{404, errorBody(QStringLiteral("no such account")), QByteArray()};
    trade->setAccountPassword(dealer, password);
    return Answer{200, json({{QStringLiteral("result"), QStringLiteral("ok")}}), QByteArray()};
}

void AccountService::respond(QTcpSocket *socket, const Answer &answer)
{
    QByteArray response = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' + reasonPhrase(answer.status) + "\r\n";
    if (!answer.location.isEmpty())
        response += "Location: " + answer.location + "\r\n";
    response += "Content-Type: application/json\r\n";
    response += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    response += "Connection: close\r\n\r\n";
    response += answer.body;
    socket->write(response);
    // Closes once everything is written; the socket deletes itself when disconnected.
    socket->disconnectFromHost();
}

} // namespace simbroker

#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

class QNetworkReply;

// The requests of the broker's account web service (demo sign-up and password change) and the
// small readings of the dialogs' fields that go into them.
namespace AccountRequests {

// The service answers on this port of the trade server's host, whatever the trade port.
constexpr int ServicePort = 9004;
constexpr int ManagerLogin = 1000;

// How long a request may take: after warnMs without an answer the dialog says so and goes on
// waiting; at deadlineMs the request is aborted and fails. Tests shorten both.
struct ReplyTimes
{
    int warnMs = 5000;
    int deadlineMs = 30000;
};
ReplyTimes replyTimes();
void setReplyTimes(const ReplyTimes &times);
// An answer is a few hundred bytes; one past this is no answer.
constexpr qint64 MaxReplyBytes = 1024 * 1024;
// Bounds a request just started: size, read buffer and deadline, as for the broker list.
void limitReply(QNetworkReply *reply);
QString managerPassword();

// The values of one demo sign-up, as the dialog read them.
struct DemoAccountForm
{
    QString first_name;
    QString last_name;
    QString email;
    QString phone;
    QString password;
    QString server_name;
    QString server_address; // host, or host:port
    QString leverage;       // the part after "1:"
    int amount = 0;
};

// http://<host>:9004/account/create, host being the one the trade session for this broker-list
// address connects to (parsed as that session's URL, so a user part names no host). An address
// without a host gives an invalid URL, so the request fails instead of going elsewhere.
QUrl createUrl(const QString &serverAddress);
// http://<host>:9004/account/update, host taken from the trade server's URL.
QUrl updateUrl(const QUrl &tradeServerUrl);

// Indented JSON bodies.
QByteArray createBody(const DemoAccountForm &form);
QByteArray updateBody(const QString &newPassword, qint64 dealer);

// "25000 USD" -> 25000; 0 when the rest is no number.
int depositAmount(const QString &depositText);
// "1:300" -> "300"; empty without a ':'.
QString leverageOf(const QString &leverageText);

// `length` characters of A-Z, a-z and 0-9 drawn from the system's random source.
QString randomPassword(int length);

// A reply that came without a network error and with a 2xx status: a redirect that was not
// followed is no answer to the request.
bool isSuccess(QNetworkReply *reply);

} // namespace AccountRequests

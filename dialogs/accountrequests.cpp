#include "accountrequests.h"

#include "replylimit.h"
#include "serveraddress.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QStringList>

namespace AccountRequests {

namespace {

ReplyTimes times;

QUrl serviceUrl(const QString &host, const QString &path)
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(host, QUrl::StrictMode);
    url.setPort(ServicePort);
    url.setPath(path);
    if (url.host().isEmpty())
        return QUrl();
    return url;
}

} // namespace

QString managerPassword()
{
    return QStringLiteral("Harbour482#");
}

ReplyTimes replyTimes()
{
    return times;
}

void setReplyTimes(const ReplyTimes &value)
{
    times = value;
}

void limitReply(QNetworkReply *reply)
{
    ReplyLimit::apply(reply, MaxReplyBytes, times.deadlineMs);
}

QUrl createUrl(const QString &serverAddress)
{
    return serviceUrl(QUrl(BrokerList::tradeServerUrl(serverAddress)).host(), QStringLiteral("/account/create"));
}

QUrl updateUrl(const QUrl &tradeServerUrl)
{
    return serviceUrl(tradeServerUrl.host(), QStringLiteral("/account/update"));
}

QByteArray createBody(const DemoAccountForm &form)
{
    bool ok = false;
    int leverage = form.leverage.toInt(&ok, 10);
    if (!ok)
        leverage = 0;
    const QJsonObject body{
        {QStringLiteral("name"), form.first_name + QLatin1Char(' ') + form.last_name},
        {QStringLiteral("email"), form.email},
        {QStringLiteral("phone"), form.phone},
        {QStringLiteral("leverage"), leverage},
        {QStringLiteral("password"), form.password},
        {QStringLiteral("amount"), form.amount},
        {QStringLiteral("group"), QStringLiteral("demo")},
        {QStringLiteral("manager_login"), ManagerLogin},
        {QStringLiteral("manager_password"), managerPassword()},
    };
    return QJsonDocument(body).toJson();
}

QByteArray updateBody(const QString &newPassword, qint64 dealer)
{
    const QJsonObject body{
        {QStringLiteral("password"), newPassword},
        {QStringLiteral("dealer"), dealer},
        {QStringLiteral("manager_login"), ManagerLogin},
        {QStringLiteral("manager_password"), managerPassword()},
    };
    return QJsonDocument(body).toJson();
}

int depositAmount(const QString &depositText)
{
    bool ok = false;
    const int amount = QString(depositText).remove(QStringLiteral("USD")).simplified().toInt(&ok, 10);
    return ok ? amount : 0;
}

QString leverageOf(const QString &leverageText)
{
    return leverageText.split(QLatin1Char(':')).value(1);
}

QString randomPassword(int length)
{
    static const QString alphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
    QString password;
    password.reserve(length);
    for (int i = 0; i < length; ++i)
        password.append(alphabet.at(int(QRandomGenerator::system()->bounded(quint32(alphabet.size())))));
    return password;
}

bool isSuccess(QNetworkReply *reply)
{
    if (reply->error() != QNetworkReply::NoError)
        return false;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return !status.isValid() || (status.toInt() >= 200 && status.toInt() < 300);
}

} // namespace AccountRequests

#include "changepassworddlg.h"
#include "ui_changepassworddlg.h"

#include "accountrequests.h"
#include "textfit.h"
#include "tradeclient.h"

#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {
// What a reply was asked for: the account, its server and the password sent.
const char *const LoginProperty = "accountLogin";
const char *const UrlProperty = "tradeServerUrl";
const char *const PasswordProperty = "newPassword";

QString title()
{
    return QObject::tr("Change Password");
}
} // namespace

ChangePasswordDlg::ChangePasswordDlg(TradeClient *client, QWidget *parent)
    : QDialog(parent), ui(new Ui_ChangePasswordDlg), client(client)
{
    ui->setupUi(this);
    TextFit::growToText(this);
    connect(ui->btnOK, &QPushButton::clicked, this, &ChangePasswordDlg::onOK);
    connect(ui->btnCancel, &QPushButton::clicked, this, &ChangePasswordDlg::onCancel);
    requestTimer.setSingleShot(true);
    connect(&requestTimer, &QTimer::timeout, this, &ChangePasswordDlg::requestTimeout);
}

ChangePasswordDlg::~ChangePasswordDlg()
{
    delete ui;
}

void ChangePasswordDlg::clearFields()
{
    ui->txtOld->clear();
    ui->txtNew1->clear();
    ui->txtNew2->clear();
}

void ChangePasswordDlg::onCancel()
{
    hide();
}

void ChangePasswordDlg::onOK()
{
    const QString oldPassword = ui->txtOld->text();
    const QString newPassword = ui->txtNew1->text();
    const QString confirmed = ui->txtNew2->text();
    if (oldPassword != client->accountPassword()) {
        QMessageBox::critical(nullptr, title(), tr("Old password is not correct!"), QMessageBox::Ok);
        return;
    }
    if (newPassword != confirmed) {
        QMessageBox::critical(nullptr, title(), tr("New password does not match!"), QMessageBox::Ok);
        return;
    }
    if (newPassword.isEmpty()) {
        QMessageBox::critical(nullptr, title(), tr("New password can not be empty!"), QMessageBox::Ok);
        return;
    }

    auto *manager = new QNetworkAccessManager(this);
    connect(manager, &QNetworkAccessManager::finished, this, &ChangePasswordDlg::onfinish);
    connect(manager, &QNetworkAccessManager::finished, manager, &QObject::deleteLater);

    const QUrl tradeServer = client->serverUrl();
    const qint64 login = client->accountLogin();
    QNetworkRequest request(AccountRequests::updateUrl(tradeServer));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    requestTimer.start(AccountRequests::replyTimes().warnMs);
    QNetworkReply *reply = manager->post(request, AccountRequests::updateBody(newPassword, login));
    AccountRequests::limitReply(reply);
    reply->setProperty(LoginProperty, login);
    reply->setProperty(UrlProperty, tradeServer);
    reply->setProperty(PasswordProperty, newPassword);
}

void ChangePasswordDlg::onfinish(QNetworkReply *rep)
{
    rep->deleteLater();
    requestTimer.stop();
    if (!AccountRequests::isSuccess(rep)) {
        QMessageBox::critical(nullptr, title(), tr("Error occured!"), QMessageBox::Ok);
        return;
    }
    // The server now refuses the old password: the next reconnection must not send it. Only
    // while the client still names the account and server the change was made for.
    const qint64 login = rep->property(LoginProperty).toLongLong();
    const QString password = rep->property(PasswordProperty).toString();
    if (login > 0 && client->accountLogin() == login && client->serverUrl() == rep->property(UrlProperty).toUrl()) {
        client->setAccountPassword(password);
        emit passwordChanged(login, password);
    }
    // No password stays in the open dialog once it has done its work.
    clearFields();
    QMessageBox::information(nullptr, title(), tr("Password changed successfully!"), QMessageBox::Ok);
}

void ChangePasswordDlg::requestTimeout()
{
    QMessageBox::critical(nullptr, title(), tr("Server is not unreachable"), QMessageBox::Ok);
    requestTimer.stop();
}

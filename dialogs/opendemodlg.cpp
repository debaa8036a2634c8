#include "opendemodlg.h"
#include "ui_opendemodlg.h"

#include "client_terminal.h"
#include "marketrecords.h"
#include "textfit.h"

#include <QApplication>
#include <QClipboard>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <cmath>

namespace {
const char *const SerialProperty = "signUpSerial";

void critical(const QString &text)
{
    QMessageBox::critical(nullptr, QObject::tr("Demo Account"), text, QMessageBox::Ok);
}
} // namespace

OpenDemoDlg::OpenDemoDlg(QWidget *parent) : QDialog(parent), ui(new Ui_OpenDemoDlg)
{
    ui->setupUi(this);
    TextFit::growToText(this);
    for (const char *deposit : {"5000 USD", "10000 USD", "25000 USD", "50000 USD", "100000 USD"})
        ui->cbDeposit->addItem(QString::fromLatin1(deposit));
    for (const char *leverage : {"1:100", "1:200", "1:300", "1:400", "1:500"})
        ui->cbLeverage->addItem(QString::fromLatin1(leverage));
    connect(ui->btnRegister, &QPushButton::clicked, this, &OpenDemoDlg::on_Register);
    connect(ui->btnCopy, &QPushButton::clicked, this, &OpenDemoDlg::on_Copy);
    connect(ui->btnLogout, &QPushButton::clicked, this, &OpenDemoDlg::on_Logout);
    connect(&requestTimer, &QTimer::timeout, this, &OpenDemoDlg::requestTimeout);
    requestTimer.setSingleShot(true);
    // Closed by the trader: the sign-up is given up, so neither its warning nor its answer shows.
    connect(this, &QDialog::finished, this, &OpenDemoDlg::abandonSignUp);
}

void OpenDemoDlg::abandonSignUp()
{
    requestTimer.stop();
    ++requestSerial;
    awaitingReply = false;
}

OpenDemoDlg::~OpenDemoDlg()
{
    delete ui;
}

void OpenDemoDlg::setServerList()
{
    abandonSignUp();
    QList<ServerInfo> servers;
    if (auto *window = qobject_cast<Client_Terminal *>(parent()))
        servers = window->GetServerList();
    ui->cbServer->clear();
    for (const ServerInfo &server : qAsConst(servers))
        ui->cbServer->addItem(server.name, server.ipaddr);
    ui->cbDeposit->setCurrentIndex(0);
    ui->cbLeverage->setCurrentIndex(0);
    ui->txtFirstName->clear();
    ui->txtLastName->clear();
    ui->txtEmail->clear();
    ui->txtPhoneNumber->clear();
    ui->chk_Agree->setChecked(false);
    showAccount(0, QString());
    ui->txtWait->hide();
    ui->btnRegister->show();
}

bool OpenDemoDlg::validateInput()
{
    const auto blank = [](const QLineEdit *edit) { return edit->text().simplified().isEmpty(); };
    if (ui->cbServer->currentIndex() < 0)
        critical(tr("Server is not available"));
    else if (ui->cbDeposit->currentIndex() < 0)
        critical(tr("Deposit is not available"));
    else if (ui->cbLeverage->currentIndex() < 0)
        critical(tr("Leverage is not available"));
    else if (!ui->chk_Agree->isChecked())
        critical(tr("Please check accept button"));
    else if (blank(ui->txtFirstName))
        critical(tr("Please input first name correctly"));
    else if (blank(ui->txtLastName))
        critical(tr("Please input last name correctly"));
    else if (blank(ui->txtEmail))
        critical(tr("Please input email correctly"));
    else if (blank(ui->txtPhoneNumber))
        critical(tr("Please input phone number correctly"));
    else
        return true;
    return false;
}

void OpenDemoDlg::on_Register()
{
    if (!validateInput())
        return;

    form = AccountRequests::DemoAccountForm();
    form.first_name = ui->txtFirstName->text();
    form.last_name = ui->txtLastName->text();
    form.phone = ui->txtPhoneNumber->text();
    form.email = ui->txtEmail->text();
    form.leverage = AccountRequests::leverageOf(ui->cbLeverage->currentText());
    form.amount = AccountRequests::depositAmount(ui->cbDeposit->currentText());
    form.server_name = ui->cbServer->currentText();
    form.server_address = ui->cbServer->currentData(Qt::UserRole).toString();
    form.password = AccountRequests::randomPassword(5);
    showAccount(0, QString());
    ui->txtWait->setText(tr("Please wait while processing..."));
    ui->txtWait->show();
    ui->btnRegister->hide();

    auto *manager = new QNetworkAccessManager(this);
    connect(manager, &QNetworkAccessManager::finished, this, &OpenDemoDlg::onfinish);
    connect(manager, &QNetworkAccessManager::finished, manager, &QObject::deleteLater);

    QNetworkRequest request(AccountRequests::createUrl(form.server_address));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    // The body holds the manager password: it goes to no other host or port.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    ++requestSerial;
    awaitingReply = true;
    requestTimer.start(AccountRequests::replyTimes().warnMs);
    QNetworkReply *reply = manager->post(request, AccountRequests::createBody(form));
    reply->setProperty(SerialProperty, requestSerial);
    AccountRequests::limitReply(reply);
}

void OpenDemoDlg::onfinish(QNetworkReply *rep)
{
    rep->deleteLater();
    if (rep->property(SerialProperty).toULongLong() != requestSerial)
        return; // a sign-up the trader has already given up on

    requestTimer.stop();
    awaitingReply = false;
    ui->btnRegister->hide();
    // Only an answer naming a whole account counts, or the trader would be shown "Login: 0" or
    // an account nobody can log into.
    const QJsonObject answer = QJsonDocument::fromJson(rep->readAll()).object();
    const QJsonValue loginValue = answer.value(QStringLiteral("login"));
    const bool whole = loginValue.isDouble() && std::floor(loginValue.toDouble()) == loginValue.toDouble();
    const qint64 login = whole ? JsonRead::int64(loginValue) : 0;
    const QString password = JsonRead::text(answer.value(QStringLiteral("password")));
    if (!AccountRequests::isSuccess(rep) || login <= 0 || password.isEmpty()) {
        ui->txtWait->setText(tr("Can not create demo account!"));
        ui->txtWait->show();
        return;
    }
    ui->txtWait->hide();
    showAccount(login, password);
}

// The frame, the copied text and "Proceed to Login" always name this one account; none (0)
// hides them.
void OpenDemoDlg::showAccount(qint64 login, const QString &password)
{
    accountLogin = login;
    accountPassword = password;
    const bool shown = login > 0;
    ui->lblLogin->setText(shown ? QString::number(login) : QString());
    ui->lblPassword->setText(password);
    ui->lblServerName->setText(form.server_name);
    replyText = shown ? QStringLiteral("{Login:%1, Password:%2}").arg(QString::number(login), password) : QString();
    ui->grpDetails->setVisible(shown);
    ui->btnCopy->setVisible(shown);
    ui->btnLogout->setVisible(shown);
}

void OpenDemoDlg::requestTimeout()
{
    if (!isVisible())
        return; // given up on; the deadline still ends the request
    const quint64 serial = requestSerial;
    // Modal: a reply that arrives meanwhile is shown first.
    critical(tr("No connection with Server"));
    requestTimer.stop();
    if (serial == requestSerial && awaitingReply) {
        ui->txtWait->clear();
        ui->btnRegister->show();
    }
}

void OpenDemoDlg::on_Copy()
{
    QApplication::clipboard()->setText(replyText, QClipboard::Clipboard);
}

void OpenDemoDlg::on_Logout()
{
    // A reply without a usable account would log the trader out into nothing.
    if (accountLogin > 0)
        emit relogin(accountLogin, accountPassword, form.server_name);
}

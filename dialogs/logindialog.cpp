#include "logindialog.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTextStream>

#include "pathsafety.h"
#include "textfit.h"
#include "ui_logindialog.h"

LoginDialog::LoginDialog(QWidget *parent) : QDialog(parent), ui(new Ui_LoginDialog)
{
    ui->setupUi(this);
    TextFit::growToText(this);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &LoginDialog::onOk);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);

    loadSavedLogins();
    // The first entry becomes current as it is added and brings its password along.
    for (const LoginRecord &record : qAsConst(savedLogins))
        ui->loginBox->addItem(QString::number(record.login));

    QSettings settings(QStringLiteral("Taldrex"), QStringLiteral("Client"));
    const QString account = settings.value(QStringLiteral("account")).toString();
    const QString word = settings.value(QStringLiteral("word")).toString();
    const QString server = settings.value(QStringLiteral("server")).toString();
    if (!account.isEmpty() && !word.isEmpty()) {
        // Make the last used account's entry current first, so the server chosen later as the
        // broker list arrives is that account's and not the first saved one's.
        bool ok = false;
        const qint64 number = account.toLongLong(&ok, 10);
        for (int i = 0; ok && i < savedLogins.size(); ++i) {
            if (savedLogins[i].login == number) {
                ui->loginBox->setCurrentIndex(i);
                break;
            }
        }
        ui->loginBox->setEditText(account);
        ui->passwordLineEdit->setText(word);
        const int serverIndex = ui->serverBox->findData(server, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (serverIndex >= 0)
            ui->serverBox->setCurrentIndex(serverIndex);
    }
}

LoginDialog::~LoginDialog()
{
    delete ui;
}

LoginDialog::LoginRecord LoginDialog::parseLoginLine(const QString &line)
{
    LoginRecord record;
    const int first = line.indexOf(QLatin1Char(';'));
    const int last = line.lastIndexOf(QLatin1Char(';'));
    if (first >= 0 && last > first) {
        record.password = line.mid(first + 1, last - first - 1);
        record.url = line.mid(last + 1);
    }
    return record;
}

void LoginDialog::loadSavedLogins()
{
    savedLogins.clear();
    const QDir::Filters folders = QDir::Dirs | QDir::NoDotAndDotDot;
    const QDir::SortFlags byName = QDir::Name | QDir::IgnoreCase;
    const QDir config(QStringLiteral("config"));
    for (const QString &server : config.entryList(folders, byName)) {
        // The server name becomes part of the workspace path again at login.
        if (!isSafePathSegment(server))
            continue;
        for (const QString &account : QDir(config.filePath(server)).entryList(folders, byName)) {
            const qint64 number = account.toLongLong(nullptr, 10);
            if (number == 0)
                continue;
            QFile file(QStringLiteral("config/%1/%2/login").arg(server, account));
            if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
                continue;
            QTextStream in(&file); // the default encoding, as the workspace writes it
            LoginRecord record = parseLoginLine(in.readLine());
            record.login = number;
            record.server = server;
            savedLogins.append(record);
        }
    }
}

void LoginDialog::onOk()
{
    // An account number that is no positive number cannot log in: stay open as for empty fields.
    if (ui->loginBox->currentText().isEmpty() || login() <= 0)
        return;
    if (ui->passwordLineEdit->text().isEmpty())
        return;
    if (ui->serverBox->currentText().isEmpty())
        return;
    accept();
}

void LoginDialog::on_loginBox_currentIndexChanged(int index)
{
    if (index < 0 || index >= savedLogins.size())
        return;
    ui->passwordLineEdit->setText(savedLogins[index].password);
    selectServerOfSavedLogin(index);
}

int LoginDialog::currentSavedLogin() const
{
    const int index = ui->loginBox->currentIndex();
    if (index < 0 || index >= savedLogins.size())
        return -1;
    // The box is editable: its index stays while the user types another account over it.
    return savedLogins[index].login == login() ? index : -1;
}

void LoginDialog::selectServerOfSavedLogin(int index)
{
    ui->serverBox->setCurrentIndex(ui->serverBox->findText(savedLogins[index].server, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

qint64 LoginDialog::login() const
{
    bool ok = false;
    const qint64 number = ui->loginBox->currentText().toLongLong(&ok, 10);
    return ok ? number : 0;
}

void LoginDialog::setLogin(qint64 login)
{
    ui->loginBox->setEditText(QString::number(login));
}

QString LoginDialog::password() const
{
    return ui->passwordLineEdit->text();
}

void LoginDialog::setPassword(const QString &password)
{
    ui->passwordLineEdit->setText(password);
}

void LoginDialog::updateSavedPassword(qint64 login, const QString &server, const QString &password)
{
    for (LoginRecord &record : savedLogins) {
        if (record.login == login && record.server == server)
            record.password = password;
    }
}

void LoginDialog::selectServer(const QString &name)
{
    ui->serverBox->setCurrentIndex(ui->serverBox->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

QString LoginDialog::serverAddress() const
{
    return ui->serverBox->currentData(Qt::UserRole).toString();
}

QString LoginDialog::serverName() const
{
    return ui->serverBox->currentText();
}

void LoginDialog::clearServers()
{
    ui->serverBox->clear();
}

void LoginDialog::addServer(const QString &name, const QString &address)
{
    ui->serverBox->addItem(name, address);
    const int saved = currentSavedLogin();
    if (saved >= 0)
        selectServerOfSavedLogin(saved);
}

bool LoginDialog::isSavePassword() const
{
    return ui->saveCheckBox->isChecked();
}

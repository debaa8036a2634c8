#pragma once

#include <QDialog>
#include <QString>
#include <QVector>

class Ui_LoginDialog;

// Names the trade account (typed, or one saved on this computer), its password and one of the
// broker's servers. It never connects by itself: OK with all three filled in emits accepted().
class LoginDialog : public QDialog
{
    Q_OBJECT
public:
    // One account found under config/<server>/<account>/login.
    struct LoginRecord {
        qint64 login = 0;
        QString password;
        QString server; // the server folder's name, matched against the servers' display names
        QString url;
    };

    explicit LoginDialog(QWidget *parent = nullptr);
    ~LoginDialog() override;

    // The login box's text as a decimal number; 0 when it is empty or no number.
    qint64 login() const;
    void setLogin(qint64 login);
    QString password() const;
    void setPassword(const QString &password);
    // Selects the server whose display name equals name (case-sensitive); none when no entry has it.
    void selectServer(const QString &name);
    // The current server's address (host, or host and port) and display name; empty with none.
    QString serverAddress() const;
    QString serverName() const;
    void clearServers();
    void addServer(const QString &name, const QString &address);
    bool isSavePassword() const;

    QVector<LoginRecord> savedLoginRecords() const { return savedLogins; }
    // The server accepted a new password for this account: choosing the saved login again must
    // not bring back the one it refuses now.
    void updateSavedPassword(qint64 login, const QString &server, const QString &password);

    // Reads the first line of an account's "login" file: "<account>;<password>;<url>". The
    // password may itself hold ';', so the line is cut at its first and its last ';'. A line with
    // fewer than two ';' gives an empty password and URL.
    static LoginRecord parseLoginLine(const QString &line);

private slots:
    void onOk();
    void on_loginBox_currentIndexChanged(int index);

private:
    void loadSavedLogins();
    // The saved login whose number the login box shows at its current index, or -1.
    int currentSavedLogin() const;
    void selectServerOfSavedLogin(int index);

    Ui_LoginDialog *ui;
    QVector<LoginRecord> savedLogins;
};

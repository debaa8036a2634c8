#pragma once

#include "accountrequests.h"

#include <QDialog>
#include <QString>
#include <QTimer>

class QNetworkReply;
class Ui_OpenDemoDlg;

// Demo-account sign-up through the broker's account web service, then the way into the new
// account. The parent must be the main window: the server choice is its broker list.
//
// One sign-up is answered at a time: each Register starts a request of its own, and a reply to
// an earlier one, or to one the trader gave up by closing or reopening the dialog, is ignored.
// A reply that comes after the 5000 ms warning is still shown, and "Register" comes back only
// while no result is shown, so a finished sign-up cannot be sent twice by accident. Only an
// answer naming a whole account shows one: the frame, the copied text and "Proceed to Login"
// then name that one account, never an earlier one. A request is aborted, and fails, past a
// hard deadline or when its answer outgrows 1 MiB; it never follows a redirect to another host
// or port, since it carries the manager password.
class OpenDemoDlg : public QDialog
{
    Q_OBJECT
public:
    explicit OpenDemoDlg(QWidget *parent);
    ~OpenDemoDlg() override;

    // Refills the server choice from the main window's broker list and resets every field.
    void setServerList();

signals:
    void relogin(qint64 login, QString password, QString serverName);

private slots:
    void on_Register();
    void on_Copy();
    void on_Logout();
    void onfinish(QNetworkReply *rep);
    void requestTimeout();

private:
    bool validateInput();
    void abandonSignUp();
    void showAccount(qint64 login, const QString &password);

    Ui_OpenDemoDlg *ui;
    QString replyText;
    AccountRequests::DemoAccountForm form;
    QString accountPassword;
    qint64 accountLogin = 0;
    QTimer requestTimer;
    quint64 requestSerial = 0;   // the Register whose reply counts
    bool awaitingReply = false;  // that reply has not come yet
};

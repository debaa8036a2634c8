#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>

class QNetworkReply;
class TradeClient;
class Ui_ChangePasswordDlg;

// Changes the logged-in account's password through the broker's account web service.
//
// The old password is checked against the one the trade client holds, read under the client's
// lock since the client thread reads it for every login. Once the service has accepted a new
// password, the client takes it (still for the same account and server), so reconnections log
// in with it, and passwordChanged() lets the window update what it has saved. A request without
// an answer after 5000 ms is reported and still awaited: a later answer is still reported. A
// request is aborted, and fails, past a hard deadline or when its answer outgrows 1 MiB.
class ChangePasswordDlg : public QDialog
{
    Q_OBJECT
public:
    ChangePasswordDlg(TradeClient *client, QWidget *parent);
    ~ChangePasswordDlg() override;

    void clearFields();

signals:
    // The service accepted `password` for the account `login` of the client's server.
    void passwordChanged(qint64 login, const QString &password);

private slots:
    void onOK();
    void onCancel();
    void requestTimeout();
    void onfinish(QNetworkReply *rep);

private:
    Ui_ChangePasswordDlg *ui;
    TradeClient *client;
    QTimer requestTimer;
};

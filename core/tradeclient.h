#pragma once

#include <QAbstractSocket>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QMutex>
#include <QStringList>
#include <QThread>
#include <QUrl>
#include <atomic>

class QTimer;
class QWebSocket;

// The only link to the trade server. Its thread owns the WebSocket, logs in on every connect,
// pings after 3 s of silence, reconnects while logged in, sends the queued requests every 5 ms
// and turns each reply into a signal chosen by its "res_code". The GUI thread only calls the
// public operations and receives the signals, queued.
//
// The signals are emitted in the client object's own (GUI) thread, each carried there from the
// client thread by a queued call that belongs to one run of the thread. Once connectToServer,
// logout or shutdown has stopped a run, nothing that run received is delivered any more: a
// login success or a position list of the account just left must not reach the window after
// the stop returned.
//
// A refused login ends the logged-in state, so a refused account is not retried. Requests are
// fire-and-forget: one made while no account is set or the thread is stopped is dropped, and
// what is still queued when the thread stops is discarded, never sent on a later connection.
// One loss of the socket (error and close together) schedules one reconnection.
class TradeClient : public QThread
{
    Q_OBJECT
public:
    explicit TradeClient(QObject *parent = nullptr);
    ~TradeClient() override;

    // Returns true when any of the four values differs from the stored ones (the URL compared
    // parsed, so the host's letter case does not count). With the same values while logged in
    // it returns false and leaves the connection alone; otherwise it restarts the thread.
    bool connectToServer(const QString &url, qint64 login, const QString &password,
                         const QString &serverName);
    void logout();
    void sendRequest(QJsonObject request);
    void sendMessage(const QString &text);
    void requestTradeHistory(int days);

    // Stops the thread for the program's end: the socket is closed with code 1000 and the
    // wait is bounded. Returns whether the thread ended in time.
    bool shutdown(int timeoutMs = 3000);

    // Decodes one frame; an invalid document or a non-object gives an empty object.
    static QJsonObject parseMessage(const QString &msg);

    // Whether these values name the session that is logged in now: connectToServer with them
    // would leave the connection alone.
    bool isCurrentSession(const QString &url, qint64 login, const QString &password,
                          const QString &serverName) const;

    bool isLoggedIn() const { return loggedIn.load(); }
    // The connection values are written only by connectToServer in the GUI thread while the
    // client thread is stopped; the password also by setAccountPassword, under its own lock,
    // since the client thread reads it for every login it sends.
    QUrl serverUrl() const { return url; }
    qint64 accountLogin() const { return login; }
    QString accountServerName() const { return serverName; }
    QString accountPassword() const;
    // Takes a password the server has accepted for this account (a password change), so the
    // next reconnection logs in with it. Leaves the connection alone.
    void setAccountPassword(const QString &newPassword);

signals:
    void websocketDisconnected();
    void loginSuccess(QJsonObject info);
    void loginFail();
    void symbolPriceReceived(QJsonObject price);
    void chartHistoryReceived(QJsonObject chart);
    void openPositionsReceived(QJsonObject positions);
    void tradeHistoryReceived(QJsonObject trade);
    void pendingOrdersReceived(QJsonObject pendings);
    void tradeResponseReceived(QJsonObject response);
    void symbolListReceived(QJsonObject symbols);

protected:
    void run() override;

private slots:
    void onConnected();
    void closed();
    void onMessageReceived(QString msg);
    void reconnect();
    void onError(QAbstractSocket::SocketError error);
    void pingToServer();
    void onPong();
    void forceDisconnect();
    void sendQueuedMessages();

private:
    void processMessage(const QJsonObject &message);
    void scheduleReconnect();
    void stopThread();
    void closeSocketForExit();
    bool sameValues(const QUrl &otherUrl, qint64 otherLogin, const QString &otherPassword,
                    const QString &otherServerName) const;
    // Client thread: hands `emitSignal` to the object's thread, where it runs unless the run
    // that received the reply has been stopped since.
    template <typename Emit>
    void deliver(Emit emitSignal);

    QUrl url;
    qint64 login = 0;
    QString serverName;
    mutable QMutex passwordMutex;
    QString password; // guarded by passwordMutex

    QStringList sendQueue;
    // Guarded by queueMutex with sendQueue: set before the thread starts, cleared (and the queue
    // emptied) when it stops, so no request of one run can reach the socket of the next.
    bool acceptingRequests = false;
    bool connected = false;
    std::atomic_bool loggedIn{false};
    bool pongPending = false;
    // Bumped by every stop of the thread; a run remembers the value it started with.
    std::atomic<quint64> currentRun{0};
    quint64 runOfThread = 0;           // the client thread's own copy, set as run() starts
    QElapsedTimer sinceLastFrame;      // the keep-alive silence, restarted by every frame
    // The client thread's timers and socket: they exist only while run() runs.
    QTimer *pingTimer = nullptr;
    QTimer *sendTimer = nullptr;
    QTimer *pongTimer = nullptr;       // single shot: the pong deadline
    QTimer *reconnectTimer = nullptr;  // single shot: at most one reconnection pending
    QWebSocket *socket = nullptr;
    QMutex *queueMutex = nullptr;
};

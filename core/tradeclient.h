#pragma once

#include "trademessages.h"

#include <QAbstractSocket>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QMutex>
#include <QStringList>
#include <QThread>
#include <QUrl>
#include <QVector>
#include <atomic>
#include <vector>

class QTimer;
class QWebSocket;

// The only link to the trade server. Its thread owns the WebSocket, logs in on every connect,
// pings after 3 s of silence, reconnects while logged in, sends the queued requests every 5 ms
// and turns each reply into a signal chosen by its "res_code". The GUI thread only calls the
// public operations and receives the signals, queued.
//
// A ping unanswered for the pong time-out (1.5 s) ends the connection as a lost socket, unless
// bytes of the connection are still arriving: a server's pong cannot overtake a reply it is still
// sending, so a large reply on a slow link is not cut off. The wait then counts from the last
// bytes, so a server that stops in the middle of a reply is dropped all the same.
//
// The signals are emitted in the client object's own (GUI) thread. The client thread puts each
// reply, tagged with the run of the thread that received it, in an outbox and hands the outbox
// over in batches, one queued call per batch rather than per reply. Once connectToServer, logout
// or shutdown has stopped a run, nothing that run received is delivered any more: a login
// success or a position list of the account just left must not reach the window after the stop
// returned.
//
// The outbox stays bounded while the GUI thread is behind a flood of replies: a quote carries the
// whole state of its symbol, and an account, pending-orders or trade-history reply the whole
// state of its kind, so such a reply still waiting is dropped when a newer one of the same symbol
// or kind arrives, and the newer one takes its place at the end, in the order received. An
// account reply that carries only the figures (no positions to apply) replaces only its like,
// while one that carries the positions replaces both.
//
// A symbol list is no whole state: the store merges each into what it holds, and a symbol that an
// earlier list named and a later one does not stays. So no symbol of a waiting list is dropped.
// The first waiting list that names a symbol is delivered on its own, as its code and elements
// trimmed as below (with an empty store, the market watch is built from it alone); the symbols
// of the lists after it are gathered into one list, one entry per symbol holding its latest
// element, delivered at the place of the newest of them. A list that names no symbol changes
// nothing in the store: it gives way to the next list, and adds nothing to one waiting. An
// accepted login (the window empties the store for it) starts the gathering anew: no list
// received before it is merged with one received after it.
//
// Chart-history replies, trade results and the rest are each delivered once, in the order
// received. No reply overtakes one received before it.
//
// A chart-history reply is delivered only as the answer to a chart-history request sent on the
// same connection: replies carry no request id, so a reply answers the oldest unanswered request
// of its series (symbol and interval), and one request takes one reply. Any other chart-history
// reply, unasked or answering a request again, is dropped here, before the keeper could merge or
// cache it; the journal says so once a connection. A request queued while the socket is not
// open is never sent and so awaits no reply; what a lost connection left unanswered is forgotten
// when the next one opens.
//
// A server is not a reason to hold memory without end. A reply larger than the reply limit, and
// a server that leaves more than the send limit unread (requests waiting to leave, counted after
// the kernel has taken what it will), end the connection as a lost socket: the journal says so
// for a reply, and while logged in the client reconnects. So does a server whose replies that
// nothing replaces (login replies, trade results, chart-history answers) reach
// MaxWaitingReplies, or a quarter of the reply limit in characters, before the window has taken
// any of them: that reply and the rest of the connection's are dropped, and the journal says so
// once a connection. A reply of any size within the limit still gets in when the window has
// taken what waited.
//
// Nor are the symbols a server names. A run of the thread tracks at most the symbol limit of
// distinct symbol names (50,000, far above any broker's list), taken in the order replies name
// them: a price its symbol, a symbol list its elements' symbols, an open-positions reply that
// replaces the positions and a pending-orders reply the symbols their records hold. A name is
// tracked when a reply names it while fewer than the limit are; past the limit, a price of a
// name not tracked is dropped, and a symbol list is delivered without its untracked symbols (not
// at all when it named no other). A symbol an open position or a pending order holds is tracked
// past the limit too, up to as many again, so it keeps its ticks: no account holds that many,
// and a server cycling positions through new names still meets a bound. So what the window keeps
// per symbol (quotes, settings, the market watch, the tick history) names tracked symbols only.
// A name longer than MaxSymbolNameChars is refused as a name past the limit is, wherever it
// comes; nothing else refuses a symbol. Of a symbol-list element only what the store reads
// waits for the window (trimSymbolElement, beside the reader in marketrecords.h): the keys the
// record is read from, none holding an array or object, each string cut to MaxSymbolTextChars (a
// description, a path), each volume kept as the whole number it reads as. So what the window
// keeps per symbol stays a few kilobytes, and a broker whose elements carry more (trading hours,
// long descriptions) still has its symbols listed. A price or a record without a name takes no
// place; such a price is dropped, as the window ignores it, and such a list element is left out,
// as the store skips it.
// The set lives as long as the run: connectToServer and logout end it, the client's own
// reconnections keep it. The window empties its symbol store at each login, but its tick
// history and last quotes outlive a login, so a server that drops the connection gains no new
// room. The journal says once a connection that the server named more symbols, or longer names,
// than the terminal keeps, and once that it sent texts that were cut: a reconnection that meets
// either again says so again.
//
// Nor are the records a reply brings: each becomes a table row of some kilobytes, and the reply
// limit holds 800,000 records of five keys. An open-positions reply that replaces the positions
// and a pending-orders reply bring at most the held-record limit (10,000) records each, a
// trade-history reply at most the history-record limit (100,000) of each of its three arrays.
// Past the limit the newest by "time" (read as the records read it) are kept, the later in the
// array counting as the newer of one time, in the order the reply gave them; the rest are dropped
// here, in the client thread, before the reply waits for the window or names a held symbol. The
// journal says so once a reply, for the history with the advice to choose a shorter period. An
// account reply that brings only the figures is delivered as it came: the window reads no record
// of it. As measured on the built terminal (a reply of each, then a login whose answer shows the
// window free): 10,000 open positions cost the window some 45 MB and it answers within a second,
// 10,000 pending orders (each with its button) some 85 MB and 2 s; 100,000 closed trades of each
// kind (50 MB of text) some 880 MB, with the peak under 930 MB, and 3 to 4.5 s.
//
// What grows with the server's replies in a run, in this class (worst case under a hostile
// server; sizes as Qt 5 lays them out, a character two bytes):
//
// | store                      | bounded by                                  | worst case       |
// |----------------------------|---------------------------------------------|------------------|
// | tracked names              | count: 50,000, held names 50,000 more;      | 100,000 names of |
// |                            | bytes: 64 characters a name                 | 64: ~22 MB       |
// | chart-history requests     | request: the terminal's own, forgotten at   | under 1 MB       |
// |   awaiting their reply     |   each connection                           |                  |
// | send queue                 | bytes: the send limit, 4 MiB characters     | 8 MB             |
// | outbox: prices, whole-state| replacement: one per tracked name and kind;| 100,000 replies, |
// |   replies, gathered lists  |   each under the reply limit; time: taken   | each as the      |
// |                            |   at every pass of the window's event loop; | server sent it   |
// |                            |   records: 10,000 positions, 10,000 orders, | but its records  |
// |                            |   100,000 of each history array             |                  |
// | outbox: logins, trade      | count: 10,000; bytes: a quarter of the reply| 16 Mi characters |
// |   results, chart answers   |   limit in characters, and the one reply    | and one reply:   |
// |                            |   that passes it; then the connection drops | ~160 MB          |
//
// Not a store but the same server's doing, for a moment: the reply being read, under the reply
// limit: 64 MiB of text, its UTF-16 copy and its parsed document, some 500 MB for 800,000 small
// records as measured (the terminal peaked at 571 MB from 45), and while such a reply is cut the
// records kept, copied once. What its parse leaves free in this thread's heap is handed back to
// the system once the reply is handled, so it does not add to what the window then builds.
//
// The sum for a reply of records, as the built terminal measured it: the reply being read (some
// 500 MB) comes before the window's rows, which cost 10,000 open positions some 45 MB, 10,000
// pending orders some 85 MB, and 100,000 closed trades of each kind some 880 MB (the trade and
// history tables' headers say theirs); a history reply at the reply limit whose arrays were cut
// to 100,000 each peaked at 929 MB.
//
// No file is written here. The window's stores keyed by symbol (symbol store, position store's
// last ticks, market watch, order dialog's tick history) hold tracked names only; each says
// its own bounds at the top of its header.
//
// A connection that is not open within the open time-out (10 s) of the attempt is aborted and
// handled as a lost socket: while logged in, a journal line and a reconnection.
//
// A refused login ends the logged-in state, so a refused account is not retried. Requests are
// fire-and-forget: one made while no account is set or the thread is stopped is dropped, one
// taken from the queue while the socket is not open is lost, and what is still queued when the
// thread stops is discarded, never sent on a later connection. None of these is reported, and
// the logged-in state lasts through a lost connection while the client reconnects: a caller that
// must tell the trader what went unsent decides before it sends (the window refuses a trade
// request while no login of its own is in force). One loss of the socket (error and close
// together) schedules one reconnection.
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
    // A chart-history request is remembered once it has been sent on the connection: its reply
    // is delivered, and any other chart-history reply dropped (see above).
    void sendRequest(QJsonObject request);
    void sendMessage(const QString &text);
    void requestTradeHistory(int days);

    // Stops the thread for the program's end: the socket is closed with code 1000 and the
    // wait is bounded. Returns whether the thread ended in time.
    bool shutdown(int timeoutMs = 3000);
    // The program's end: shuts the client down and frees it once its thread has ended. A thread
    // still running after the wait is left to the process exit with its client, as destroying a
    // running thread would abort.
    static void shutdownAndFree(TradeClient *client, int timeoutMs = 3000);

    // Decodes one frame; an invalid document or a non-object gives an empty object. The trace of
    // an invalid frame holds its first MaxTracedChars characters and its size, never the whole.
    static QJsonObject parseMessage(const QString &msg);
    static constexpr int MaxTracedChars = 200;

    // How long an attempt may take until the socket is open; read when an attempt starts.
    void setOpenTimeout(int ms) { openTimeoutMs = ms; }
    // The silence after which the client pings. The product keeps DefaultKeepAliveMs; a test
    // whose point must not meet the keep-alive sets it out of its way.
    static constexpr int DefaultKeepAliveMs = 3000;
    void setKeepAlive(int ms) { keepAliveMs = ms; }

    // The largest reply (one frame or a whole message) the socket takes. The largest a real
    // account asks for is a chart history of M1 bars: a year of a five-day market is about
    // 375,000 bars, about 26 MB at about 70 bytes a bar; a busy account's year of trade history
    // (50,000 deals at about 210 bytes) is about 10 MB. 64 MiB leaves more than twice that, and
    // keeps what one reply costs (the text, its UTF-16 copy and the parsed document) in the
    // hundreds of megabytes, not gigabytes. Read when the thread starts.
    static constexpr qint64 DefaultReplyLimit = qint64(64) << 20;
    void setReplyLimit(qint64 bytes) { replyLimit = bytes; }
    // The most that may wait unsent. A request is a few hundred bytes and a trader's burst a few
    // hundred requests: 4 MiB (beyond what the kernel's own send buffer already holds) is tens of
    // thousands of requests, reached only by a server that has stopped reading.
    static constexpr qint64 DefaultSendLimit = qint64(4) << 20;
    void setSendLimit(qint64 bytes) { sendLimit = bytes; }
    // The distinct symbol names a run tracks (see above). Read when the thread starts.
    static constexpr int DefaultSymbolLimit = 50000;
    void setSymbolLimit(int names) { symbolLimit = names; }
    // The longest symbol name, and the longest string of a symbol-list element the window gets
    // (a longer one is cut), in characters. Brokers' names are a dozen characters or so, their
    // descriptions and paths a few dozen; these keep what the window stores per symbol to a few
    // kilobytes.
    static constexpr int MaxSymbolNameChars = 64;
    static constexpr int MaxSymbolTextChars = 128;
    // The window takes the outbox at every pass of its event loop; a real server's trade
    // results and logins come a few at a time.
    static constexpr int MaxWaitingReplies = 10000;
    // The records one reply brings into the window (see above). Every record becomes a table row
    // of some 3 to 5 KB, so 800,000 small records within the reply limit would cost gigabytes.
    // Open positions and pending orders: a count no real account reaches, each array. Trade
    // history: each of its three arrays, at or above what a real account's records within the
    // reply limit reach (a busy account's year is some 50,000 deals, about 10 MB). Read when the
    // thread starts.
    static constexpr int DefaultHeldRecordLimit = 10000;
    static constexpr int DefaultHistoryRecordLimit = 100000;
    void setRecordLimits(int held, int history)
    {
        heldRecordLimit = held;
        historyRecordLimit = history;
    }

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
    void onOpenTimeout();

private:
    // Kinds of replies a newer one of the kind replaces while waiting, apart from prices; for
    // Symbols, the list that gathers the waiting lists (or one naming no symbol).
    enum Snapshot { NoSnapshot = -1, AccountPositions, AccountFigures, Orders, Symbols, History, Snapshots };
    // One reply on its way to the GUI thread. Code 0 marks a reply replaced by a newer one.
    struct Reply
    {
        quint64 run = 0;
        int code = 0;
        QJsonObject message;
    };
    static int snapshotOf(int code, const QJsonObject &message);
    // Client thread: whether the name is tracked, tracking it when there is room; a name a
    // position or an order holds has the room past the limit.
    bool trackSymbol(const QString &name, bool held = false);
    // Client thread: whether the outbox already holds MaxWaitingReplies replies that nothing
    // replaces; if so, drops the connection (once).
    bool backlogFull();
    // Client thread: tracks the symbols of the positions or orders a reply brings.
    void trackHeldSymbols(int code, const QJsonObject &message);
    // Client thread: the reply with each of its record arrays cut to the newest records within
    // the run's record limits; the journal hears once a reply of what was left out.
    QJsonObject keepNewestRecords(int code, const QJsonObject &message);
    // Client thread: whether a chart-history reply answers a request sent on this connection,
    // which it then uses up.
    bool answersChartRequest(const QJsonObject &message);
    // Queues one text; `chart` names the series of a chart-history request.
    void queueMessage(const QString &text, const TradeMessages::ChartSeries *chart);
    // Client thread, outbox locked: puts a symbol-list reply in the outbox as described above.
    void deliverSymbolList(const QJsonObject &message);
    // Outbox locked: ends the gathering, its list taking its place in the outbox as it stands.
    void restartSymbolLists();

    void processMessage(const QJsonObject &message);
    void openSocket();
    void scheduleReconnect();
    void stopThread();
    // Ends the connection as a lost socket, whether or not the socket reports it.
    void loseSocket();
    // Client thread, outbox locked: empties a waiting reply that a newer one replaces.
    void replaceWaiting(int &index);
    void closeSocketForExit();
    bool sameValues(const QUrl &otherUrl, qint64 otherLogin, const QString &otherPassword,
                    const QString &otherServerName) const;
    // Client thread: puts a reply in the outbox for the object's thread, where it is emitted
    // unless the run that received it has been stopped since.
    void deliver(int code, const QJsonObject &message = QJsonObject());
    // GUI thread: emits what an interrupted delivery left, then takes the outbox once.
    void deliverReplies();
    void emitTaken();
    void emitReply(const Reply &reply);
    void dropOutbox();

    QUrl url;
    qint64 login = 0;
    QString serverName;
    mutable QMutex passwordMutex;
    QString password; // guarded by passwordMutex

    QStringList sendQueue;
    // Guarded by queueMutex with sendQueue: the series of the chart-history requests queued
    // since the last send tick.
    QVector<TradeMessages::ChartSeries> queuedChartRequests;
    // Guarded by queueMutex with sendQueue: set before the thread starts, cleared (and the queue
    // emptied) when it stops, so no request of one run can reach the socket of the next.
    bool acceptingRequests = false;
    // Guarded by queueMutex: the characters queued, and whether a request was dropped since the
    // last send tick because the queue already held the send limit.
    qint64 queuedChars = 0;
    bool sendOverflow = false;
    std::atomic<qint64> replyLimit{DefaultReplyLimit};
    std::atomic<qint64> sendLimit{DefaultSendLimit};
    std::atomic_int symbolLimit{DefaultSymbolLimit};
    std::atomic_int heldRecordLimit{DefaultHeldRecordLimit};
    std::atomic_int historyRecordLimit{DefaultHistoryRecordLimit};
    bool connected = false;
    std::atomic_bool loggedIn{false};
    bool pongPending = false;
    bool replyOverLimit = false;       // client thread: the closing socket refused a reply
    quint64 losses = 0;                // client thread: counts closed() calls
    // Bumped by every stop of the thread; a run remembers the value it started with.
    std::atomic<quint64> currentRun{0};
    quint64 runOfThread = 0;           // the client thread's own copy, set as run() starts
    QElapsedTimer sinceLastFrame;      // the keep-alive silence, restarted by every frame
    QElapsedTimer sinceLastBytes;      // restarted by every read of the link, frame whole or not
    // The client thread's timers and socket: they exist only while run() runs.
    QTimer *pingTimer = nullptr;
    QTimer *sendTimer = nullptr;
    QTimer *pongTimer = nullptr;       // single shot: the pong deadline
    QTimer *reconnectTimer = nullptr;  // single shot: at most one reconnection pending
    QTimer *openTimer = nullptr;       // single shot: the deadline of an opening attempt
    QWebSocket *socket = nullptr;
    QMutex *queueMutex = nullptr;
    std::atomic_int openTimeoutMs{10000};
    std::atomic_int keepAliveMs{DefaultKeepAliveMs};

    // The symbols this run tracks, each with the index of its price reply waiting in the outbox,
    // which counts only while `batch` is the outbox's: a price of a tracked symbol costs one
    // look-up. Client thread; the indexes are read and written with the outbox locked.
    struct TrackedSymbol
    {
        int waitingPrice = -1;
        quint64 batch = 0;
    };
    QHash<QString, TrackedSymbol> trackedSymbols;
    int runSymbolLimit = DefaultSymbolLimit;
    int runHeldRecordLimit = DefaultHeldRecordLimit;     // client thread, set as run() starts
    int runHistoryRecordLimit = DefaultHistoryRecordLimit;
    bool symbolLimitMet = false;      // a name was refused since the journal last heard of it
    bool symbolLimitReported = false; // the journal has said so this connection
    bool symbolTextsCut = false;      // a list element's text was cut since the journal heard of it
    bool symbolTextsReported = false; // the journal has said so this connection
    // Client thread: the chart-history requests sent on this connection and not yet answered, by
    // series, each with its count; emptied at each connection.
    QHash<TradeMessages::ChartSeries, int> chartRequests;
    bool unaskedChartReported = false; // the journal has heard of an unasked reply this connection
    bool backlogDropped = false;       // this connection was dropped for its backlog
    qint64 replyChars = 0;             // the frame being handled
    qint64 backlogChars = 0;           // a quarter of the run's reply limit

    // The outbox, guarded by outboxMutex. A tracked symbol names its price reply in the outbox,
    // waitingSnapshot a kind to its reply (-1: none); outboxBatch changes whenever the outbox is
    // taken or dropped, which ends every symbol's waiting price at once. `replaced` counts the
    // entries emptied by newer replies, compacted away once they are half the outbox.
    // deliveryPosted: a queued deliverReplies will take the outbox.
    QMutex outboxMutex;
    std::vector<Reply> outbox;
    quint64 outboxBatch = 1;
    int waitingSnapshot[Snapshots] = {-1, -1, -1, -1, -1};
    // A symbol list that names a symbol waits as it came: later ones are gathered into
    // gatheredList, the index of each symbol's entry in gatheredSymbols, so a merge costs the
    // arriving list, not what was gathered before. The outbox holds the gathered list's place at
    // waitingSnapshot[Symbols]; the list is written there when the gathering ends.
    bool namedSymbolListWaiting = false;
    QHash<QString, int> gatheredSymbols;
    QJsonArray gatheredList;
    int replaced = 0;
    int waitingOnce = 0; // replies in the outbox that no newer one replaces
    qint64 waitingOnceChars = 0; // and the characters of their frames
    bool deliveryPosted = false;
    // GUI thread only: the batch being emitted. A receiver that runs a nested event loop gets
    // the rest of it delivered there first, so the order holds.
    std::vector<Reply> taken;
    size_t takenNext = 0;
};

#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <functional>

namespace simbroker {

// A bare trade server in a thread of its own, for what the scripted SimTradeServer cannot do
// from the test's thread: answer a handshake at once whatever the test's thread is doing, and
// flood a client with price replies at a set rate (200,000 frames a second need a core of their
// own, apart from the receiver's event loop).
//
// It accepts every login ("state" 1), records every frame it receives (thread-safe), answers
// nothing else, and floods every logged-in connection on request, with price replies or with
// replies of another kind. On request it stops reading, as a server that hangs while its
// connections stay open. A flood is paced by the send
// buffer: while more than 256 KiB waits to leave, it sends nothing, so a slow reader meets
// TCP's back pressure and the rate falls, rather than the server's memory growing.
class FloodServer : public QObject
{
    Q_OBJECT
public:
    struct Plan
    {
        int framesPerSecond = 200000;
        int durationMs = 1000;
        int symbols = 20;            // price replies cycle over FLOOD00, FLOOD01, ...
        int tradeResultEvery = 0;    // a trade result (res 7) after every N price replies; 0: none
        // The kind of the flood's replies: 2 quotes; any other code gives {"res_code", "is_last" 1,
        // "array" [], "symbol", "seq"} and "pad", a text of this many characters. The "array" of a
        // symbol list (8) holds listLength elements {"symbol", "seq", "c_size"}, the first the
        // reply's own, each naming the next symbol in turn (reply n names symbols n * listLength
        // onwards); "c_size" repeats "seq" in a key the terminal keeps.
        int resCode = 2;
        int listLength = 1;
        int padding = 0;
        // Above 0: the flood is this many replies, sent as fast as the connections take them,
        // however long that takes; the duration and the rate are not used.
        qint64 replies = 0;
        // Sent after the flood's closing trade result, one frame a line, when not empty.
        QString trailer;
        // Whether the report notes each symbol's last "seq": a flood of new names that measures
        // memory leaves it off, as it would grow with the names.
        bool noteSymbols = true;
        // Texts a well-behaved server keeps short, made long. Above 0: each price reply and each
        // element of a symbol list names a new symbol this many characters long
        // (longSymbolName), and each element of a symbol list carries a "desc" and a "path" of
        // descriptionLength characters.
        int nameLength = 0;
        int descriptionLength = 0;
        // Above 0 with resCode 3: chart-history replies nobody asked for, each of this many bars
        // ({"datetime", "open", "high", "low", "close"}), in turn for EURUSD at a new interval
        // (1, 2, 3, ... minutes) and for a new symbol at 60 minutes. Otherwise resCode 3 replies
        // as any other code.
        int bars = 0;
        // When not empty, price replies cycle over these names instead of FLOOD00, FLOOD01, ...
        QStringList names;
    };
    // What a flood sent. Each price reply carries "seq", its number in the flood; each trade
    // result "seq", its own count from 0. The flood ends with one trade result holding
    // "marker": "end", sent at endSentNs (std::chrono::steady_clock, nanoseconds).
    struct Report
    {
        qint64 prices = 0;
        qint64 tradeResults = 0;
        qint64 endSentNs = 0;
        QHash<QString, qint64> lastSeqOfSymbol;
    };
    struct Frame
    {
        int connection = 0;
        QString text;
        qint64 receivedNs = 0; // on the clock of Report::endSentNs
    };

    explicit FloodServer(QObject *parent = nullptr);
    ~FloodServer() override;

    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);
    QUrl url() const;
    void startFlood(const Plan &plan);
    // One text frame to every logged-in connection, sent from the server's thread (so also while
    // the test's thread is busy).
    void sendText(const QString &text);
    // From now on nothing more is read from the connections open now: what their clients send
    // fills the kernel's buffers and stays there. The receive buffers are made small first.
    void stopReading();
    // One trade-history reply (res 5) to the connections open now whose "deals" holds this many
    // records of about 200 bytes, written as one frame piece by piece as the connection takes
    // it, so the server never holds it whole.
    void sendLargeHistory(qint64 deals);
    // How a large reply is written. By default piece after piece as the connections take it.
    // With an interval: `records` records every interval, as a slow link brings them, and the
    // server reads nothing until the frame has ended, so a ping is answered only after it, as a
    // server's pong cannot overtake its frame. With stopAfterPing, the frame stops, unfinished,
    // once the client has sent anything (its ping) since it began, and the server stays silent
    // for good: the silence starts after the ping, however late the client's process pings.
    struct Pace
    {
        int intervalMs = 0;
        int records = 1;
        bool stopAfterPing = false;
    };
    // One reply made of `head`, the bytes of record(0) to record(count - 1) (made in the
    // server's thread, twice: the frame's length comes first) and `tail`, written as one frame
    // piece by piece as the connections take it; then the trailer's frames, one a line.
    // largeReplySent tells when the last piece was handed to the connections.
    void sendLargeReply(const QByteArray &head, std::function<QByteArray(qint64)> record, qint64 count,
                        const QByteArray &tail, const QString &trailer = QString());
    void sendLargeReply(const QByteArray &head, std::function<QByteArray(qint64)> record, qint64 count,
                        const QByteArray &tail, const QString &trailer, const Pace &pace);
    static QByteArray largeHistoryDeal(qint64 index);
    QList<Frame> receivedFrames() const;
    int loggedInCount() const;

    // Helpers for the flood's replies, shared with the tests that read them back.
    static QString symbolName(int index);
    // "FLOOD<index>" filled up to `length` characters.
    static QString longSymbolName(qint64 index, int length);

signals:
    // Emitted in the owner's thread when a flood has ended.
    void floodFinished(const simbroker::FloodServer::Report &report);
    // Emitted in the owner's thread: a large reply's bytes, and when its first and last pieces
    // were written (the clock of Report::endSentNs).
    void largeReplySent(qint64 bytes, qint64 startNs, qint64 endNs);

private:
    class Worker;
    friend class Worker;
    void record(int connection, const QString &text);

    QThread thread;
    Worker *worker = nullptr;
    QUrl listenUrl;
    mutable QMutex framesMutex;
    QList<Frame> frames;
    std::atomic_int loggedIn{0};
};

} // namespace simbroker

Q_DECLARE_METATYPE(simbroker::FloodServer::Report)

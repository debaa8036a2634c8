// An account-service answer that never ends, as a demo sign-up or a password change receives
// it, with and without the bound every account request now carries, in the same run:
//
//   unbounded: the request as the dialogs sent it before (no size limit, no deadline, no read
//              buffer limit), given up by the benchmark after a fixed time;
//   bounded:   the same request with AccountRequests::limitReply;
//   held_*:    bounded requests as the password change (POST), the demo sign-up (POST) and the
//              broker list (GET) send them, the event loop held HoldMs at the answer's first
//              data, after the bound's own check: only the network layer's read buffer keeps
//              the answer from piling up meanwhile.
//
// The service streams from a thread of its own, as a remote host would, and stops at 256 MiB
// (one that never stops would reach gigabytes); each request meets a service of its own.
// Each answer is read as the demo dialog reads it (the whole body as text, then parsed).
// Figures: the peak resident memory while the answer streams over the memory before it, and,
// for the requests not held, the longest pause of the event loop (a 1 ms timer's largest gap)
// over the largest gap with no request at all.
//
// Output lines "RATIO <name>: <value>" carry the figures; the lines before them the raw numbers.
#include "accountrequests.h"
#include "accountservice.h"
#include "brokerlist.h"
#include "peerthread.h"
#include "residentmemory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <utility>

namespace {

constexpr int RunMs = 4000;
constexpr int HoldMs = 3000;

struct Run
{
    qint64 peakKib = 0;
    qint64 longestPauseMs = 0;
    qint64 elapsedMs = 0;
};

// Runs the event loop until `done` holds or RunMs pass, noting the largest gap between ticks of
// a 1 ms timer and the peak resident memory.
Run measure(const std::function<bool()> &done, int runMs = RunMs)
{
    ResidentMemory::resetPeak();
    Run run;
    QElapsedTimer clock, sinceTick;
    clock.start();
    sinceTick.start();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { run.longestPauseMs = qMax(run.longestPauseMs, sinceTick.restart()); });
    ticker.start(1);
    while (!done() && !clock.hasExpired(runMs))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    run.longestPauseMs = qMax(run.longestPauseMs, sinceTick.elapsed());
    run.elapsedMs = clock.elapsed();
    run.peakKib = ResidentMemory::kib("VmHWM:");
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    enum class Kind { PasswordChange, DemoAccount, BrokerList };
    struct Case
    {
        const char *name;
        Kind kind;
        bool bounded;
        int holdMs;
    };
    const Case cases[] = {
        {"bounded", Kind::PasswordChange, true, 0},
        {"held_password_change", Kind::PasswordChange, true, HoldMs},
        {"held_demo_account", Kind::DemoAccount, true, HoldMs},
        {"held_broker_list", Kind::BrokerList, true, HoldMs},
        {"unbounded", Kind::PasswordChange, false, 0},
    };

    const Run idle = measure([] { return false; });
    const qint64 before = ResidentMemory::kib("VmRSS:");
    std::printf("idle: rss %lld KiB, longest pause %lld ms\n", before, idle.longestPauseMs);
    for (const Case &c : cases) {
        simbroker::PeerThread<simbroker::AccountService> service(nullptr);
        bool listening = false;
        quint16 port = 0;
        service.run([&](simbroker::AccountService &peer) {
            listening = peer.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
            peer.answerEndlessly(c.holdMs > 0);
            port = peer.serverPort();
        });
        if (!listening) {
            std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
            return 1;
        }
        QUrl url(QStringLiteral("http://127.0.0.1"));
        url.setPort(port);
        url.setPath(c.kind == Kind::DemoAccount ? QStringLiteral("/account/create")
                    : c.kind == Kind::PasswordChange ? QStringLiteral("/account/update") : QStringLiteral("/brokers"));
        QNetworkRequest request(url);
        QNetworkAccessManager manager; // one per request, as the dialogs have
        const qint64 rss = ResidentMemory::kib("VmRSS:");
        QNetworkReply *reply = nullptr;
        if (c.kind == Kind::BrokerList) {
            reply = manager.get(request);
            BrokerList::limitReply(reply);
        } else {
            request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
            AccountRequests::DemoAccountForm form;
            form.first_name = form.last_name = QStringLiteral("Bench");
            form.leverage = QStringLiteral("100");
            form.amount = 5000;
            form.password = AccountRequests::randomPassword(5);
            reply = manager.post(request, c.kind == Kind::DemoAccount ? AccountRequests::createBody(form)
                                                                      : AccountRequests::updateBody(QStringLiteral("n"), 1001));
            if (c.bounded)
                AccountRequests::limitReply(reply);
        }
        if (c.holdMs > 0) {
            // Connected after the bound's check, as any handler of the answer would be.
            // The service sends the rest of its answer only then.
            QObject::connect(reply, &QIODevice::readyRead, [&service, holdMs = c.holdMs, held = false]() mutable {
                if (std::exchange(held, true))
                    return;
                service.run([](simbroker::AccountService &peer) { peer.releaseEndless(); });
                QThread::msleep(holdMs);
            });
        }
        // What the demo dialog does with an answer: the whole body as text, then parsed.
        bool handled = false;
        QObject::connect(reply, &QNetworkReply::finished, [reply, &handled] {
            if (reply->isOpen())
                QJsonDocument::fromJson(QString::fromUtf8(reply->readAll()).toUtf8());
            handled = true;
        });
        const Run run = measure([&handled] { return handled; }, RunMs + c.holdMs);
        const bool finished = reply->isFinished();
        reply->abort();
        delete reply;
        qint64 streamed = 0;
        service.run([&](simbroker::AccountService &peer) { streamed = peer.streamedBytes(); });
        std::printf("%s: %s after %lld ms, %lld KiB streamed, peak rss %lld KiB (from %lld), longest pause %lld ms\n",
                    c.name, finished ? "failed" : "still running", run.elapsedMs, streamed / 1024, run.peakKib, rss,
                    run.longestPauseMs);
        std::printf("RATIO endless_answer_%s_peak_memory_vs_before: %.3f\n", c.name, double(run.peakKib) / double(rss));
        if (c.holdMs == 0)
            std::printf("RATIO endless_answer_%s_longest_pause_vs_idle: %.3f\n", c.name,
                        double(run.longestPauseMs) / double(qMax<qint64>(1, idle.longestPauseMs)));
        // Gives the freed memory back before the next run, or its peak would start from this one's.
        QCoreApplication::processEvents();
        malloc_trim(0);
    }
    return 0;
}

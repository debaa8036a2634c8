// An account-service answer that never ends, as a demo sign-up or a password change receives
// it, with and without the bound every account request now carries, in the same run:
//
//   unbounded: the request as the dialogs sent it before (no size limit, no deadline, no read
//              buffer limit), given up by the benchmark after a fixed time;
//   bounded:   the same request with AccountRequests::limitReply.
//
// The service streams from a thread of its own, as a remote host would, and stops at 256 MiB
// (the issue measured gigabytes over longer runs). Each answer is read as the demo dialog reads
// it (the whole body as text, then parsed). Figures: the peak
// resident memory while the answer streams over the memory before it, and the longest pause of
// the event loop (a 1 ms timer's largest gap) over the largest gap with no request at all.
//
// Output lines "RATIO <name>: <value>" carry the figures; the lines before them the raw numbers.
#include "accountrequests.h"
#include "accountservice.h"
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

namespace {

constexpr int RunMs = 4000;

struct Run
{
    qint64 peakKib = 0;
    qint64 longestPauseMs = 0;
    qint64 elapsedMs = 0;
};

// Runs the event loop until `done` holds or RunMs pass, noting the largest gap between ticks of
// a 1 ms timer and the peak resident memory.
Run measure(const std::function<bool()> &done)
{
    ResidentMemory::resetPeak();
    Run run;
    QElapsedTimer clock, sinceTick;
    clock.start();
    sinceTick.start();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { run.longestPauseMs = qMax(run.longestPauseMs, sinceTick.restart()); });
    ticker.start(1);
    while (!done() && !clock.hasExpired(RunMs))
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
    QThread serviceThread;
    auto *service = new simbroker::AccountService(nullptr);
    service->moveToThread(&serviceThread);
    serviceThread.start();
    const auto inService = [&](const std::function<void()> &call) {
        QMetaObject::invokeMethod(service, call, Qt::BlockingQueuedConnection);
    };
    bool listening = false;
    inService([&] {
        listening = service->listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
        service->answerEndlessly();
    });
    if (!listening) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
        return 1;
    }
    QUrl url(QStringLiteral("http://127.0.0.1/account/update"));
    url.setPort(service->serverPort());

    QNetworkAccessManager manager;
    const Run idle = measure([] { return false; });
    const qint64 before = ResidentMemory::kib("VmRSS:");
    std::printf("idle: rss %lld KiB, longest pause %lld ms\n", before, idle.longestPauseMs);
    for (bool bounded : {true, false}) {
        QNetworkRequest request(url);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        const qint64 rss = ResidentMemory::kib("VmRSS:");
        QNetworkReply *reply = manager.post(request, AccountRequests::updateBody(QStringLiteral("n"), 1001));
        if (bounded)
            AccountRequests::limitReply(reply);
        // What the demo dialog does with an answer: the whole body as text, then parsed.
        bool handled = false;
        QObject::connect(reply, &QNetworkReply::finished, [reply, &handled] {
            if (reply->isOpen())
                QJsonDocument::fromJson(QString::fromUtf8(reply->readAll()).toUtf8());
            handled = true;
        });
        const Run run = measure([&handled] { return handled; });
        const bool finished = reply->isFinished();
        reply->abort();
        delete reply;
        const char *name = bounded ? "bounded" : "unbounded";
        std::printf("%s: %s after %lld ms, peak rss %lld KiB (from %lld), longest pause %lld ms\n", name,
                    finished ? "failed" : "still running", run.elapsedMs, run.peakKib, rss, run.longestPauseMs);
        std::printf("RATIO endless_answer_%s_peak_memory_vs_before: %.3f\n", name, double(run.peakKib) / double(rss));
        std::printf("RATIO endless_answer_%s_longest_pause_vs_idle: %.3f\n", name,
                    double(run.longestPauseMs) / double(qMax<qint64>(1, idle.longestPauseMs)));
        // Lets the freed memory go back before the next run.
        QThread::msleep(200);
        QCoreApplication::processEvents();
    }
    inService([&] { delete service; });
    serviceThread.quit();
    serviceThread.wait();
    return 0;
}

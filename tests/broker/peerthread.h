#pragma once

#include <QMetaObject>
#include <QSemaphore>
#include <QThread>

#include <functional>
#include <utility>

namespace simbroker {

// A peer (a web service of this folder) in a thread of its own, as a remote host would be: it
// goes on answering while the thread that made it is busy or held. The peer is reached only
// through run(), which calls into the peer's thread and returns once the call is done, so
// nothing of it is touched from two threads at once. A peer thread that does not answer within
// PatienceMs ends the test with a message naming it, rather than leaving it hung.
template <typename Peer>
class PeerThread
{
public:
    template <typename... Args>
    explicit PeerThread(Args &&...args)
        : peer(new Peer(std::forward<Args>(args)...))
    {
        peer->moveToThread(&thread);
        thread.start();
    }
    ~PeerThread()
    {
        // Deleted in its own thread, as the thread finishes.
        peer->deleteLater();
        thread.quit();
        if (!thread.wait(PatienceMs))
            qFatal("a test peer's thread did not end within %d ms", PatienceMs);
    }
    PeerThread(const PeerThread &) = delete;
    PeerThread &operator=(const PeerThread &) = delete;

    void run(const std::function<void(Peer &)> &call)
    {
        Peer *target = peer;
        QSemaphore done;
        QMetaObject::invokeMethod(target, [target, &call, &done] {
            call(*target);
            done.release();
        }, Qt::QueuedConnection);
        if (!done.tryAcquire(1, PatienceMs))
            qFatal("a test peer's thread did not answer a call within %d ms", PatienceMs);
    }

private:
    static constexpr int PatienceMs = 60000;
    QThread thread;
    Peer *peer;
};

} // namespace simbroker

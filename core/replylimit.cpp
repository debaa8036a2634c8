#include "replylimit.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace ReplyLimit {

void apply(QNetworkReply *reply, qint64 maxBytes, int deadlineMs)
{
    // Room for one limit beyond the limit: a reply over it stops there until the check aborts it,
    // instead of piling up in queued events while nobody reads. (The network layer hands on whole
    // blocks only, so a buffer of exactly the limit could stall just below it, unchecked.)
    //
    // Set now, the size reaches the network thread only if the request's side there exists
    // already: so for a GET. For a request with a body Qt makes that side from a call it queued
    // to the reply's thread in post(), and for a redirect followed from a call queued before
    // redirected() is emitted. Queued calls to one object run in order, so setting the size
    // again from a call queued now runs right after that start, and the size then follows the
    // start to the network thread, before any of the answer reaches the reply's thread.
    const qint64 bufferSize = 2 * maxBytes;
    const auto limitBuffer = [reply, bufferSize] {
        reply->setReadBufferSize(bufferSize);
        QMetaObject::invokeMethod(reply, [reply, bufferSize] { reply->setReadBufferSize(bufferSize); },
                                  Qt::QueuedConnection);
    };
    limitBuffer();
    QObject::connect(reply, &QNetworkReply::redirected, reply, limitBuffer);
    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    QObject::connect(reply, &QNetworkReply::finished, deadline, &QTimer::stop);
    deadline->start(deadlineMs);

    // At the head (a declared length) and at every arrival (a reply without one, or lying).
    const auto checkSize = [reply, maxBytes](qint64 received) {
        if (reply->isFinished())
            return;
        bool declared = false;
        const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&declared);
        if ((declared && length > maxBytes) || received > maxBytes || reply->bytesAvailable() > maxBytes)
            reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [checkSize] { checkSize(0); });
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [checkSize](qint64 received, qint64) { checkSize(received); });
    QObject::connect(reply, &QIODevice::readyRead, reply, [checkSize] { checkSize(0); });
}

} // namespace ReplyLimit

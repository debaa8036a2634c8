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
    reply->setReadBufferSize(2 * maxBytes);
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

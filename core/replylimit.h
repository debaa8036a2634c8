#pragma once

#include <QtGlobal>

class QNetworkReply;

// The bound every web-service reply is read under (the broker list, the account service): a
// reply that brings more than a list or an answer can be, or that never finishes, ends as a
// failed request instead of filling memory or keeping a dialog waiting.
namespace ReplyLimit {

// Bounds a reply that the caller has just started (call it right after get() or post(), before
// control returns to the event loop). A reply that declares or brings more than maxBytes, or has
// not finished deadlineMs after this call, is aborted: it then finishes with
// QNetworkReply::OperationCanceledError, as any failed request does. The check runs on the
// reply's own signals, so it also runs inside a nested event loop.
//
// While the reply's thread is busy and the check cannot run, the network thread stops reading
// once twice maxBytes wait for that thread, for a request with a body as for one without, and
// again after each redirect followed; beside that, only the network thread's last read and the
// kernel's socket buffers hold more of the answer. The read buffer size that makes it stop
// reaches the network thread through a signal queued to the request's side there, which Qt
// creates for a GET inside get() but for a request with a body (and for each redirect) only from
// a call queued to the reply's thread; so the size is set once more from a call queued right
// behind that one, which runs before the reply's thread can handle any of the answer.
void apply(QNetworkReply *reply, qint64 maxBytes, int deadlineMs);

} // namespace ReplyLimit

#pragma once

#include <QtGlobal>

class QNetworkReply;

// The bound every web-service reply is read under (the broker list, the account service): a
// reply that brings more than a list or an answer can be, or that never finishes, ends as a
// failed request instead of filling memory or keeping a dialog waiting.
namespace ReplyLimit {

// Bounds a reply that the caller has just started. A reply that declares or brings more than
// maxBytes, or has not finished deadlineMs after this call, is aborted: it then finishes with
// QNetworkReply::OperationCanceledError, as any failed request does. The network layer buffers
// at most twice maxBytes of it, and the check runs on the reply's own signals, so the bound holds
// while the window is busy or a nested event loop runs.
void apply(QNetworkReply *reply, qint64 maxBytes, int deadlineMs);

} // namespace ReplyLimit

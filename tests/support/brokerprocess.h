#pragma once
// The simulated broker (the built simbroker_server, SIMBROKER_SERVER) as a process of its own:
// what it serves never waits on the test's process, which may stall longer than a client's
// keep-alive. Where its trade server listens and what it reports with --events (the req_code of
// each request, the close codes) are read back as it prints them; send() hands it a line on its
// standard input, whose end (the test's end, even a crash) ends the modes that read it.
#include "testmain.h"

#include <QProcess>
#include <QRegularExpression>

namespace corvane_test {

struct BrokerProcess
{
    QProcess process;
    QString url;
    QList<int> requests;   // the req_code of each, in order
    QList<int> closeCodes; // of the close frames the client sent

    bool start(const QStringList &arguments)
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process, [this] {
            static const QRegularExpression listening(QStringLiteral("^Trade server listening on (\\S+)"));
            while (process.canReadLine()) {
                const QString line = QString::fromUtf8(process.readLine()).trimmed();
                if (const auto found = listening.match(line); found.hasMatch())
                    url = found.captured(1);
                else if (line.startsWith(QLatin1String("request ")))
                    requests.append(line.section(' ', 1).toInt());
                else if (line.startsWith(QLatin1String("close ")))
                    closeCodes.append(line.section(' ', 1).toInt());
            }
        });
        process.start(QStringLiteral(SIMBROKER_SERVER), arguments);
        return QTest::qWaitFor([this] { return !url.isEmpty() || process.state() == QProcess::NotRunning; }, MustHappenMs)
            && !url.isEmpty();
    }
    void send(const QString &line) { process.write(line.toUtf8() + '\n'); }
    ~BrokerProcess()
    {
        process.kill();
        process.waitForFinished();
    }
};

} // namespace corvane_test

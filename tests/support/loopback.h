#pragma once
// Loopback addresses that belong to this test process alone. The broker list (port 9000) and the
// account service (port 9004) listen on fixed ports, so a test that serves them, or that needs a
// host where nothing answers on them, takes its address from here: two test processes, of one
// checkout or of two running their suites at the same time, never meet on an address.
//
// The address is drawn from the process id, which no other running process holds, and the role,
// within 127.0.0.0/8. It is never 127.0.0.1 (where the simulated broker run by hand and the
// default broker-list host sit) nor 127.255.255.255.
#include <QCoreApplication>
#include <QString>

namespace corvane_test {

enum class Loopback {
    Quiet,  // nothing of this process listens here: a broker list asked for here never comes
    Broker, // the simulated broker's services on their fixed ports
    Beside, // a second host beside the broker (a decoy that must never be asked)
};

inline QString ownLoopbackHost(Loopback role)
{
    // The process id in the upper 22 bits (the kernel's largest pid_max), the role in the lowest
    // two; a process id of 1 or more keeps the host above 127.0.0.3, and role 3 is never used.
    const quint32 host = (quint32(QCoreApplication::applicationPid()) & 0x3fffff) << 2 | quint32(role);
    return QStringLiteral("127.%1.%2.%3").arg(host >> 16 & 0xff).arg(host >> 8 & 0xff).arg(host & 0xff);
}

} // namespace corvane_test

// Network reachability (type 3335): one ICMP echo to the host of the item's address text, or
// with Variant 1 one TCP connection attempt to host:port. No host port; no external command.
#ifndef QVSM_DRIVERS_CARD_SMNETPING_H
#define QVSM_DRIVERS_CARD_SMNETPING_H

#include "base/SMBase.h"

class CSMNetPing : public CSMBase {
public:
    enum { HOST_MAX = 35, WAIT_MS = 1000 };

    CSMNetPing();

    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int n) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;

    // "host[:port]" -> host (at most HOST_MAX characters) and port (0 without ':').
    static void SplitTarget(const char* text, char* host, int* port);
    // A plain host name (letters, digits, '-' and '.') or a dotted IPv4 address.
    static bool PlainHost(const char* host);

    // How an echo can be sent here: 2 unprivileged ICMP datagram socket, 1 raw socket, 0 none.
    static int EchoKind();
    // 1 when an echo reply from host arrives within WAIT_MS, else 0.
    static int Echo(const char* host);
    // 1 when a TCP connection to host:port is accepted within WAIT_MS, else 0.
    static int Connect(const char* host, int port);

    unsigned char Flag() const { return m_flag; }

private:
    unsigned char m_flag = 0;
};

#endif

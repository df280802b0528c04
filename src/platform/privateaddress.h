#pragma once

#include <QHostAddress>

namespace tavirin {

// An address of this machine or of the school's own network, never one the internet reaches:
// loopback, link-local, IPv6 unique-local and site-local, and IPv4's private ranges (RFC 1918)
// and shared address space (RFC 6598). The page listens only on these unless told otherwise;
// a webhook may be plain HTTP only to these.
inline bool isPrivateAddress(const QHostAddress& a) {
    if (a.isLoopback() || a.isLinkLocal() || a.isUniqueLocalUnicast() || a.isSiteLocal())
        return true;
    bool v4 = false;
    const quint32 ip = a.toIPv4Address(&v4);
    if (!v4) return false;
    const auto in = [ip](quint32 net, int bits) { return (ip >> (32 - bits)) == (net >> (32 - bits)); };
    return in(0x0A000000, 8) || in(0xAC100000, 12) || in(0xC0A80000, 16) || in(0x64400000, 10);
}

}  // namespace tavirin

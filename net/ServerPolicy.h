#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace VelNet {

// A block of IPv4 addresses: every address whose first prefixLength bits are those of address.
struct AddressRange {
    uint32_t address = 0;  // host byte order
    int prefixLength = 32; // 0 to 32; 32 is one address
};

// Who may connect to a server and how many at once. Read by the server's accept thread; set
// before the server starts and not changed while it runs.
//
// Clients are trusted (loopback, or listed in `allowed`) or strangers (anyone else, where
// `allowed` is empty: a named list admits no stranger). Strangers hold at most maximumPerAddress connections
// from one address and leave reservedConnections() of the maximum free, so that a local or allowed authoring
// tool always finds a place however many strangers connect. A trusted client that finds every place taken
// gets one all the same: the server closes the connection that serves least (see Server).
struct ServerPolicy {
    static constexpr int DefaultMaximumConnections = 256;
    static constexpr int DefaultMaximumPerAddress = 32;
    static constexpr int DefaultHandshakeSeconds = 10;

    // Simultaneous connections; a connection beyond them is closed at once, unserved.
    int maximumConnections = DefaultMaximumConnections;
    // Simultaneous connections of one stranger's address.
    int maximumPerAddress = DefaultMaximumPerAddress;
    // How long a new connection has to send its whole handshake line before it is closed.
    int handshakeSeconds = DefaultHandshakeSeconds;
    // A connection that received nothing for this long (since it was accepted, or since its
    // last line) has settled: its place may go to a trusted newcomer. One that received
    // something more recently is a client at work (sending its handshake, its command).
    int settleMilliseconds = 250;
    // The clients that may connect, and that are trusted; empty lets everyone connect.
    std::vector<AddressRange> allowed;
    // Clients trusted whether listed or not: the loopback block, this machine's own clients.
    std::vector<AddressRange> trusted = loopback();

    // 127.0.0.0/8.
    static std::vector<AddressRange> loopback();

    bool allows(uint32_t address) const;
    // In trusted, or listed in allowed.
    bool trusts(uint32_t address) const;
    // Places strangers never take: an eighth of the maximum.
    int reservedConnections() const { return maximumConnections / 8; }
};

// Reads a comma- or blank-separated list of IPv4 addresses and blocks ("127.0.0.1",
// "192.168.1.0/24"). False, with the offending word in error, for anything else and for a list
// that names no address at all (an empty list would let everyone in).
bool parseAddressList(const std::string& text, std::vector<AddressRange>& ranges, std::string& error);

// The address in dotted form, for log lines.
std::string dottedAddress(uint32_t address);

} // namespace VelNet

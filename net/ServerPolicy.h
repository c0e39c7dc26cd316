#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace VelNet {

// A block of IPv4 addresses: every address whose first prefixLength bits are those of address.
struct AddressRange {
    uint32_t address = 0; // host byte order
    int prefixLength = 32; // 0 to 32; 32 is one address
};

// Who may connect to a server and how many at once. Read by the server's accept thread; set
// before the server starts and not changed while it runs.
struct ServerPolicy {
    static constexpr int DefaultMaximumConnections = 256;
    static constexpr int DefaultHandshakeSeconds = 10;

    // Simultaneous connections; a connection beyond them is closed at once, unserved.
    int maximumConnections = DefaultMaximumConnections;
    // How long a new connection has to send its whole handshake line before it is closed.
    int handshakeSeconds = DefaultHandshakeSeconds;
    // The clients that may connect; empty lets everyone connect.
    std::vector<AddressRange> allowed;

    bool allows(uint32_t address) const;
};

// Reads a comma- or blank-separated list of IPv4 addresses and blocks ("127.0.0.1",
// "192.168.1.0/24"). False, with the offending word in error, for anything else.
bool parseAddressList(const std::string& text, std::vector<AddressRange>& ranges, std::string& error);

// The address in dotted form, for log lines.
std::string dottedAddress(uint32_t address);

} // namespace VelNet

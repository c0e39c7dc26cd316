#include "net/ServerPolicy.h"

#include <arpa/inet.h>

namespace VelNet {

namespace {

uint32_t maskOf(int prefixLength) {
    return prefixLength <= 0 ? 0u : ~0u << (32 - prefixLength);
}

bool parseRange(const std::string& word, AddressRange& range) {
    const std::string::size_type slash = word.find('/');
    const std::string address = word.substr(0, slash);
    in_addr parsed{};
    if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
        return false;
    }
    range.address = ntohl(parsed.s_addr);
    range.prefixLength = 32;
    if (slash != std::string::npos) {
        const std::string length = word.substr(slash + 1);
        if (length.empty() || length.size() > 2 ||
            length.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        range.prefixLength = std::stoi(length);
        if (range.prefixLength > 32) {
            return false;
        }
    }
    range.address &= maskOf(range.prefixLength);
    return true;
}

bool inRanges(const std::vector<AddressRange>& ranges, uint32_t address) {
    for (const AddressRange& range : ranges) {
        if ((address & maskOf(range.prefixLength)) == range.address) {
            return true;
        }
    }
    return false;
}

} // namespace

std::vector<AddressRange> ServerPolicy::loopback() {
    AddressRange block;
    block.address = 0x7f000000u;
    block.prefixLength = 8;
    return {block};
}

bool ServerPolicy::allows(uint32_t address) const {
    return allowed.empty() || inRanges(allowed, address);
}

bool ServerPolicy::trusts(uint32_t address) const {
    return inRanges(trusted, address) || inRanges(allowed, address);
}

bool parseAddressList(const std::string& text, std::vector<AddressRange>& ranges, std::string& error) {
    std::vector<AddressRange> read;
    std::string word;
    auto finishWord = [&] {
        if (word.empty()) {
            return true;
        }
        AddressRange range;
        if (!parseRange(word, range)) {
            error = word;
            return false;
        }
        read.push_back(range);
        word.clear();
        return true;
    };
    for (char c : text) {
        if (c == ',' || c == ' ' || c == '\t' || c == '\n') {
            if (!finishWord()) {
                return false;
            }
        } else {
            word += c;
        }
    }
    if (!finishWord()) {
        return false;
    }
    if (read.empty()) {
        error = "no address in '" + text + "'";
        return false;
    }
    ranges = std::move(read);
    return true;
}

std::string dottedAddress(uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xff) + "." +
           std::to_string((address >> 8) & 0xff) + "." + std::to_string(address & 0xff);
}

} // namespace VelNet

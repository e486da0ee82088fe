// Dotted IPv4 texts: parsing, formatting and validation.
#include "core/network.h"

#include <cstring>

#include "core/error.h"

namespace vyxsim {

bool ParseIPv4(const char* text, uint32_t* out) {
    if (!text) return false;
    std::size_t n = strnlen(text, kMaxIPv4Text + 1);
    if (n == 0 || n > kMaxIPv4Text) return false;
    uint32_t address = 0;
    const char* p = text;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (*p != '.') return false;
            ++p;
        }
        if (*p < '0' || *p > '9') return false;
        if (*p == '0' && p[1] >= '0' && p[1] <= '9') return false;  // leading zero
        unsigned value = 0;
        int digits = 0;
        while (*p >= '0' && *p <= '9') {
            value = value * 10 + static_cast<unsigned>(*p - '0');
            if (++digits > 3 || value > 255) return false;
            ++p;
        }
        address = (address << 8) | value;
    }
    if (*p != '\0') return false;
    *out = address;
    return true;
}

std::string FormatIPv4(uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
           std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

bool IsNetmask(uint32_t mask) {
    if (mask == 0) return false;
    uint32_t inverted = ~mask;
    // Contiguous ones: ~mask + 1 is a power of two.
    if ((inverted & (inverted + 1)) != 0) return false;
    // Prefixes /31 and /32 leave no room for a host and a gateway.
    return inverted >= 3;
}

namespace {
std::string Quote(const char* text) {
    if (!text) return "null";
    return "'" + Printable(text, 40) + "'";
}
}  // namespace

std::string CheckNetworkTexts(const char* ip, const char* mask, const char* gateway) {
    uint32_t a = 0, m = 0, g = 0;
    struct Field {
        const char* name;
        const char* text;
        uint32_t* value;
    };
    for (const Field& f : {Field{"ip", ip, &a}, Field{"mask", mask, &m}, Field{"gateway", gateway, &g}}) {
        if (!f.text) return std::string(f.name) + " is missing (null)";
        if (strnlen(f.text, kMaxIPv4Text + 1) > kMaxIPv4Text) {
            return std::string(f.name) + " " + Quote(f.text) + " is longer than 15 characters";
        }
        if (!ParseIPv4(f.text, f.value)) {
            return std::string(f.name) + " " + Quote(f.text) + " is not a dotted IPv4 address";
        }
    }
    if (!IsNetmask(m)) return "mask " + Quote(mask) + " is not a subnet mask (/1 to /30)";
    uint32_t first_octet = a >> 24;
    if (a == 0 || first_octet == 127 || first_octet >= 224) {
        return "ip " + Quote(ip) + " is not a host address";
    }
    uint32_t host = a & ~m;
    if (host == 0 || host == ~m) {
        return "ip " + Quote(ip) + " is the network or broadcast address of its subnet";
    }
    if (g != 0) {
        if ((g & m) != (a & m)) {
            return "gateway " + Quote(gateway) + " is not in the subnet of ip " + Quote(ip);
        }
        uint32_t ghost = g & ~m;
        if (g == a || ghost == 0 || ghost == ~m) {
            return "gateway " + Quote(gateway) + " is not a usable address in the subnet";
        }
    }
    return {};
}

}  // namespace vyxsim

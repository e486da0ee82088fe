// Dotted IPv4 texts of device network configurations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vyxsim {

// Longest dotted IPv4 text ("255.255.255.255").
constexpr std::size_t kMaxIPv4Text = 15;

// Parses a strict dotted quad: four decimal numbers 0 to 255 without signs,
// spaces or leading zeros, at most 15 characters.
bool ParseIPv4(const char* text, uint32_t* out);
std::string FormatIPv4(uint32_t address);
// A subnet mask: ones followed by zeros, prefix length 1 to 30.
bool IsNetmask(uint32_t mask);

// Checks an address, subnet mask and gateway for a static configuration.
// Returns an empty text when they are valid, otherwise the problem, e.g.
// "ip '10.0.0.256' is not a dotted IPv4 address". The gateway may be
// 0.0.0.0 (none); otherwise it lies in the address's subnet.
std::string CheckNetworkTexts(const char* ip, const char* mask, const char* gateway);

}  // namespace vyxsim

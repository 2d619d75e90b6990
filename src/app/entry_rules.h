// What the wizard accepts in its forms: the new password, and the fixed
// address settings a person types for a camera. Pure functions.
#pragma once

#include <cstdint>
#include <string_view>

// 8 to 32 characters, each an ASCII letter or digit: what cameras take.
bool IsPasswordFormatValid(std::string_view password);
// Something of a dotted address: not empty and at least three dots. Whether
// it parses is checked apart.
bool IsDottedText(std::string_view text);

// The first setting that makes fixed settings unusable for a camera.
enum class FixedIpProblem { kNone, kAddress, kMask, kGateway };
// `address`, `mask` and `gateway` in network byte order: a unicast host
// address (not 0, 127.x, multicast or all-ones) that is neither its subnet's
// own address nor its broadcast, a contiguous mask of at least 8 bits and
// not 32, and a usable gateway that is not the subnet's broadcast.
FixedIpProblem CheckFixedIp(uint32_t address, uint32_t mask, uint32_t gateway);

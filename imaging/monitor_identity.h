// What identifies a monitor itself, read from its EDID (VESA E-EDID 1.3/1.4, the 128-byte
// base block): the manufacturer's three letters, the product code and the serial number,
// the descriptor's text serial where the monitor has one. The same monitor gives the same
// identity on any port, adapter or dock; the device interface name does not.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/picture_geometry.h"

namespace tessaren {

// "DEL A0B1 CN0F1234567" (the text serial), "GSM 5B08 0001E240" (the number in hex); empty
// when the block is no EDID (header, checksum, size), or names no serial to tell two
// monitors of one model apart.
std::string edidIdentity(std::span<const std::uint8_t> edid);

// Clears the identity of monitors that share one with another connected monitor: copies
// of one EDID (a splitter, a monitor that reports a serial of its model) tell nothing apart.
void keepUniqueIdentities(std::vector<Monitor>& monitors);

}  // namespace tessaren

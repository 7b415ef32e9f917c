// The portable half of the Properties dialog: the record it edits and the conversion of
// the interval field's text.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "settings/settings_store.h"

namespace tessaren {

// The display list's entries; an entry's position is its DisplayMode number.
inline const std::array<std::string, 4> kDisplayModeNames = {"Stretch", "Center", "Tile",
                                                             "[Use Windows Deskop Settings]"};

// The record that the dialog loads on opening and saves; loaded at start-up as well.
Settings& settingsRecord();

// The number at the start of an interval text: leading white space skipped, one optional
// sign, then decimal digits up to the first other character; 0 when there are none.
// Numbers beyond the signed 32-bit range saturate at its limits instead of wrapping.
std::int32_t intervalFromText(const std::string& text);

// The interval as decimal text, with a leading '-' when negative.
std::string intervalToText(std::int32_t interval);

}  // namespace tessaren

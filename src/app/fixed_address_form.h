// The fixed-address page: the settings written into its fields and read
// back from them, with the message slot of the first field that is wrong.
#pragma once

#include <cstdint>
#include <functional>

#include "app/net_settings.h"
#include "app/page_host.h"

// Writes the address, mask and gateway of `settings` into the page; a
// setting not known (0) leaves its field as it is. UI thread.
void FillFixedIpFields(IPageHost& pages, const NetSettings& settings);

// Reads the three fields into `settings` and checks them: each must be
// dotted text, the address must be `usable_address` (not the computer's
// own) and together they must make usable settings. -1, or the message slot
// of the first rejected field. UI thread.
int ReadFixedIpFields(IPageHost& pages, NetSettings* settings,
                      const std::function<bool(uint32_t address)>& usable_address);

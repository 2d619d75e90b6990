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

// Reads the three fields into `settings` and checks them. Each text must be
// four decimal numbers (ParseDottedQuad): a field that is not keeps its
// setting as it was, and what is stored is exactly what the page shows.
// Then the settings must be usable together (CheckFixedIp) and the address
// must not be `own_address` (this computer's). -1, or the message slot of
// the first problem, in the order address, mask, gateway text, then the
// settings' rules, then this computer's address. UI thread.
int ReadFixedIpFields(IPageHost& pages, NetSettings* settings,
                      const std::function<bool(uint32_t address)>& own_address);

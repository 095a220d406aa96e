// The SATA SMART table as SMART prints it: the attribute rows (names, current values, thresholds,
// raw values) under the Items filter, and the self-test lines of the attribute page.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "devcmd/item_filter.h"
#include "devcmd/line_sink.h"
#include "disk/ata_smart.h"

namespace kestrune::devcmd {

// The name of an attribute ID; "Vendor Specific" for IDs without one.
std::string_view SmartAttributeName(uint8_t id);

// Without a filter: the header and every row. With one: the rows whose "|ID|" (decimal) the
// normalised items hold, each raw value collected in decimal.
void PrintSmartAttributes(LineSink& sink, const std::vector<disk::SmartAttribute>& attributes,
                          ItemCollector& items);

// Self-test support and times (white), remaining percent and status code (yellow) and the status in
// words (yellow), from bytes 363, 367, 372 and 373 of the attribute page.
void PrintSelfTestState(LineSink& sink, std::span<const uint8_t> data);

}  // namespace kestrune::devcmd

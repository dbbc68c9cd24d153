#pragma once
#include "mbus/telegram.h"

#include <cstddef>

namespace kelvaro::mbus {

// Decodes the data records in telegram bytes [begin, end) into t.records.
// A record that cannot be decoded ends the list (see DecodeTelegram).
void ParseRecords(Telegram& t, std::size_t begin, std::size_t end);

} // namespace kelvaro::mbus

#pragma once
#include "mbus/provider.h"

#include <QJsonObject>

// Two upper-case hex digits.
QString HexByte(std::uint8_t b);

// The JSON form of a decoded telegram that every kelvaro-cli command prints.
QJsonObject TelegramHeaderJson(const kelvaro::mbus::MBusProvider& provider, kelvaro::mbus::Language language);
QJsonObject TelegramRecordJson(const kelvaro::mbus::Telegram& t, const kelvaro::mbus::DataRecord& r, int index,
                               kelvaro::mbus::Language language);
// Header, records and "more_records_follow" in the provider's language.
QJsonObject DecodedTelegramJson(const kelvaro::mbus::MBusProvider& provider);

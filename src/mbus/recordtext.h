#pragma once
#include "mbus/telegram.h"

#include <QString>
#include <QStringList>

namespace kelvaro::mbus {

// LNGLanguage: 1 German (the station's language), 0 English.
enum class Language : int { English = 0, German = 1 };

QString MediumText(std::uint8_t medium, Language language);
QString ManufacturerText(std::uint16_t code);        // "PAD", or the hex word when invalid
QString IdentificationText(std::uint32_t idRaw);     // eight digits
QString FunctionText(std::uint8_t function, Language language);
// The function of a record: FunctionText, but the special DIFs 0F, 1F and 7F
// name what they are, and an undecodable tail has none.
QString RecordFunctionText(const DataRecord& r, Language language);
QString DataFieldText(std::uint8_t dif, Language language);
QString ApplicationErrorText(std::uint8_t code, Language language);
QString RecordErrorText(std::uint8_t code, Language language);

// Per record, as the provider hands it out.
QString MeasurementText(const Telegram& t, const DataRecord& r, Language language); // APPVIBAsc
QString UnitText(const Telegram& t, const DataRecord& r);                             // APPVIBUnitAsc
QString ValueDecText(const Telegram& t, const DataRecord& r);  // APPValueDec: number text, "" when none
QString ValueHexText(const Telegram& t, const DataRecord& r);  // APPValueHex: data bytes as continuous hex
QString DateText(const DataRecord& r);                         // APPValueDat: "dd.mm.yyyy"
QString DateTimeText(const DataRecord& r);                     // APPValueDT: "dd.mm.yyyy hh:mm[:ss]"
// The value as a person reads it: number, date, text, hex, "—", "ungültig ...".
QString DisplayValueText(const Telegram& t, const DataRecord& r, Language language);
// Text of a record's characters (LVAR text, last character first on the wire).
QString RecordText(const Telegram& t, const DataRecord& r);
// Texts of the record's VIFEs that describe it ("nur positiv"), joined by ", ".
QString VifeDescription(const Telegram& t, const DataRecord& r, Language language);

} // namespace kelvaro::mbus

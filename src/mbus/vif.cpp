#include "mbus/vif.h"

#include <array>
#include <cmath>
#include <cstdint>

namespace kelvaro::mbus {

namespace {

using Table = std::array<VifInfo, 128>;

constexpr VifInfo kReserved{"Reserviert", "Reserved", "", 1, 0, VifKind::Reserved};

double pow10(int e)
{
    return std::pow(10.0, e);
}

VifInfo number(const char* de, const char* en, const char* unit, int exponent, int multiplier = 1)
{
    VifInfo v{de, en, unit, pow10(exponent) * multiplier, static_cast<std::int8_t>(exponent < 0 ? -exponent : 0),
              VifKind::Number};
    v.exponent = static_cast<std::int8_t>(exponent);
    v.multiplier = static_cast<std::uint16_t>(multiplier);
    return v;
}

VifInfo plain(const char* de, const char* en, const char* unit = "", VifKind kind = VifKind::Number)
{
    return {de, en, unit, 1, 0, kind};
}

// Fahrenheit codes are shown in °C (a difference in K), the units the
// station's index lists know.
VifInfo fahrenheit(const char* de, const char* en, int exponent, bool difference)
{
    VifInfo v = number(de, en, difference ? "K" : "°C", exponent, 5);
    v.divisor = 9;
    v.factor = pow10(exponent) * 5.0 / 9.0;
    v.subtrahend = difference ? 0 : 32;
    v.decimals = static_cast<std::int8_t>(v.decimals + 1);
    return v;
}

const char* const kDurationUnits[4] = {"s", "min", "h", "d"};

void durations(Table& t, int first, const char* de, const char* en)
{
    for (int nn = 0; nn < 4; ++nn)
        t[first + nn] = plain(de, en, kDurationUnits[nn]);
}

Table buildPrimary()
{
    Table t;
    t.fill(kReserved);
    for (int n = 0; n < 8; ++n) {
        t[0x00 + n] = number("Energie", "Energy", "kWh", n - 6);
        t[0x08 + n] = number("Energie", "Energy", "MJ", n - 6);
        t[0x10 + n] = number("Volumen", "Volume", "m³", n - 6);
        t[0x18 + n] = n >= 6 ? number("Masse", "Mass", "t", n - 6) : number("Masse", "Mass", "kg", n - 3);
        t[0x28 + n] = number("Leistung", "Power", "kW", n - 6);
        t[0x30 + n] = number("Leistung", "Power", "MJ/h", n - 6);
        t[0x38 + n] = number("Durchfluss", "Volume flow", "m³/h", n - 6);
        t[0x40 + n] = number("Durchfluss", "Volume flow", "m³/h", n - 7, 60);
        t[0x48 + n] = number("Durchfluss", "Volume flow", "m³/h", n - 9, 3600);
        t[0x50 + n] = number("Massenstrom", "Mass flow", "kg/h", n - 3);
    }
    durations(t, 0x20, "Einschaltdauer", "On time");
    durations(t, 0x24, "Betriebszeit", "Operating time");
    for (int n = 0; n < 4; ++n) {
        t[0x58 + n] = number("Vorlauftemperatur", "Flow temperature", "°C", n - 3);
        t[0x5C + n] = number("Rücklauftemperatur", "Return temperature", "°C", n - 3);
        t[0x60 + n] = number("Temperaturdifferenz", "Temperature difference", "K", n - 3);
        t[0x64 + n] = number("Außentemperatur", "External temperature", "°C", n - 3);
        t[0x68 + n] = number("Druck", "Pressure", "bar", n - 3);
    }
    t[0x6C] = plain("Datum", "Date", "", VifKind::Date);
    t[0x6D] = plain("Datum/Zeit", "Date and time", "", VifKind::DateTime);
    t[0x6E] = plain("Heizkostenverteiler-Einheiten", "Units for H.C.A.");
    durations(t, 0x70, "Mittelungsdauer", "Averaging duration");
    durations(t, 0x74, "Aktualitätsdauer", "Actuality duration");
    t[0x78] = plain("Fabriknummer", "Fabrication number", "", VifKind::Digits);
    t[0x79] = plain("Identifikation", "Identification", "", VifKind::Digits);
    t[0x7A] = plain("Busadresse", "Bus address");
    t[0x7A].unsignedInt = true;
    t[0x7C] = plain("Text", "Text", "", VifKind::Text);
    t[0x7E] = plain("Beliebige VIF", "Any VIF", "", VifKind::Reserved);
    t[0x7F] = plain("Herstellerspezifisch", "Manufacturer specific", "", VifKind::Manufacturer);
    return t;
}

Table buildFB()
{
    Table t;
    t.fill(kReserved);
    // Both editions: the later one fills codes that the early one reserves
    // (and reserves the gallon and °F codes, which older meters still send).
    for (int n = 0; n < 2; ++n) {
        t[0x00 + n] = number("Energie", "Energy", "MWh", n - 1);
        t[0x02 + n] = number("Blindenergie", "Reactive energy", "kvarh", n);
        t[0x04 + n] = number("Scheinenergie", "Apparent energy", "kVAh", n);
        t[0x08 + n] = number("Energie", "Energy", "GJ", n - 1);
        t[0x10 + n] = number("Volumen", "Volume", "m³", n + 2);
        t[0x18 + n] = number("Masse", "Mass", "t", n + 2);
        t[0x28 + n] = number("Leistung", "Power", "kW", n + 2); // 10^(n-1) MW
        t[0x30 + n] = number("Leistung", "Power", "GJ/h", n - 1);
    }
    t[0x1A] = number("Feuchte", "Relative humidity", "%", -1);
    t[0x1B] = number("Feuchte", "Relative humidity", "%", 0);
    t[0x20] = number("Volumen", "Volume", "ft³", 0);
    t[0x21] = number("Volumen", "Volume", "ft³", -1);
    t[0x22] = number("Volumen", "Volume", "US gal", -1);
    t[0x23] = number("Volumen", "Volume", "US gal", 0);
    t[0x24] = number("Durchfluss", "Volume flow", "US gal/min", -3);
    t[0x25] = number("Durchfluss", "Volume flow", "US gal/min", 0);
    t[0x26] = number("Durchfluss", "Volume flow", "US gal/h", 0);
    t[0x2A] = plain("Phasenwinkel Spannung-Spannung", "Phase angle voltage-voltage", "°");
    t[0x2B] = plain("Phasenwinkel Spannung-Strom", "Phase angle voltage-current", "°");
    for (int code : {0x68, 0x69}) {
        VifInfo& k = t[code];
        k = code == 0x68 ? plain("Bewertungsfaktor K", "Resulting rating factor K")
                         : plain("Bewertungsfaktor Kq", "Thermal output rating factor Kq");
        k.divisor = 4096; // 2^-12 units
        k.factor = 1.0 / 4096;
        k.decimals = 4;
    }
    for (int n = 0; n < 4; ++n) {
        t[0x0C + n] = number("Energie", "Energy", "MCal", n - 1);
        t[0x14 + n] = number("Blindleistung", "Reactive power", "kvar", n - 3);
        t[0x34 + n] = number("Scheinleistung", "Apparent power", "kVA", n - 3);
        t[0x2C + n] = number("Frequenz", "Frequency", "Hz", n - 3);
        t[0x58 + n] = fahrenheit("Vorlauftemperatur", "Flow temperature", n - 3, false);
        t[0x5C + n] = fahrenheit("Rücklauftemperatur", "Return temperature", n - 3, false);
        t[0x60 + n] = fahrenheit("Temperaturdifferenz", "Temperature difference", n - 3, true);
        t[0x64 + n] = fahrenheit("Außentemperatur", "External temperature", n - 3, false);
        t[0x70 + n] = fahrenheit("Grenztemperatur", "Temperature limit", n - 3, false);
        t[0x74 + n] = number("Grenztemperatur", "Temperature limit", "°C", n - 3);
    }
    for (int n = 0; n < 8; ++n)
        t[0x78 + n] = number("Maximalleistung kumuliert", "Cumulative count max. power", "W", n - 3);
    return t;
}

Table buildFD()
{
    Table t;
    t.fill(kReserved);
    for (int n = 0; n < 4; ++n) {
        t[0x00 + n] = number("Guthaben", "Credit", "", n - 3);
        t[0x04 + n] = number("Belastung", "Debit", "", n - 3);
    }
    t[0x08] = plain("Zugriffszähler", "Access number");
    t[0x09] = plain("Medium", "Medium");
    t[0x0A] = plain("Hersteller", "Manufacturer");
    t[0x0B] = plain("Parametersatz-ID", "Parameter set identification");
    t[0x0C] = plain("Modell/Version", "Model / Version");
    t[0x0D] = plain("Hardwareversion", "Hardware version");
    t[0x0E] = plain("Firmwareversion", "Firmware version");
    t[0x0F] = plain("Softwareversion", "Software version");
    t[0x10] = plain("Kundenstandort", "Customer location");
    t[0x11] = plain("Kunde", "Customer");
    t[0x12] = plain("Zugangscode Benutzer", "Access code user");
    t[0x13] = plain("Zugangscode Betreiber", "Access code operator");
    t[0x14] = plain("Zugangscode Systembetreiber", "Access code system operator");
    t[0x15] = plain("Zugangscode Entwickler", "Access code developer");
    t[0x16] = plain("Passwort", "Password");
    t[0x17] = plain("Fehlerflags", "Error flags", "", VifKind::BitField);
    t[0x18] = plain("Fehlermaske", "Error mask", "", VifKind::BitField);
    t[0x1A] = plain("Digitalausgang", "Digital output", "", VifKind::BitField);
    t[0x1B] = plain("Digitaleingang", "Digital input", "", VifKind::BitField);
    t[0x1C] = plain("Baudrate", "Baud rate", "Bd");
    t[0x1D] = plain("Antwortverzögerung", "Response delay", "Bitzeiten");
    t[0x1E] = plain("Wiederholung", "Retry");
    t[0x20] = plain("Erste Speichernummer", "First storage number");
    t[0x21] = plain("Letzte Speichernummer", "Last storage number");
    t[0x22] = plain("Speicherblockgröße", "Size of storage block");
    durations(t, 0x24, "Speicherintervall", "Storage interval");
    t[0x28] = plain("Speicherintervall", "Storage interval", "Monate");
    t[0x29] = plain("Speicherintervall", "Storage interval", "Jahre");
    durations(t, 0x2C, "Dauer seit Auslesung", "Duration since last readout");
    t[0x30] = plain("Tarifbeginn", "Start of tariff", "", VifKind::DateTime);
    for (int n = 1; n < 4; ++n)
        t[0x30 + n] = plain("Tarifdauer", "Duration of tariff", kDurationUnits[n]);
    durations(t, 0x34, "Tarifperiode", "Period of tariff");
    t[0x38] = plain("Tarifperiode", "Period of tariff", "Monate");
    t[0x39] = plain("Tarifperiode", "Period of tariff", "Jahre");
    t[0x3A] = plain("dimensionslos", "Dimensionless");
    for (int n = 0; n < 16; ++n) {
        t[0x40 + n] = number("Spannung", "Voltage", "V", n - 9);
        t[0x50 + n] = number("Strom", "Current", "A", n - 12);
    }
    t[0x60] = plain("Rücksetzzähler", "Reset counter");
    t[0x61] = plain("Kumulationszähler", "Cumulation counter");
    t[0x62] = plain("Steuersignal", "Control signal");
    t[0x63] = plain("Wochentag", "Day of week");
    t[0x64] = plain("Kalenderwoche", "Week number");
    t[0x65] = plain("Tageswechsel", "Time point of day change");
    t[0x66] = plain("Parameteraktivierung", "State of parameter activation");
    t[0x67] = plain("Lieferanteninformation", "Special supplier information");
    const char* const longUnits[4] = {"h", "d", "Monate", "Jahre"};
    for (int n = 0; n < 4; ++n) {
        t[0x68 + n] = plain("Dauer seit Kumulation", "Duration since last cumulation", longUnits[n]);
        t[0x6C + n] = plain("Batteriebetriebszeit", "Battery operating time", longUnits[n]);
    }
    t[0x70] = plain("Batteriewechsel", "Date of battery change", "", VifKind::DateTime);
    t[0x71] = plain("Funkpegel", "RF level", "dBm");
    t[0x74] = plain("Batterierestlaufzeit", "Remaining battery life", "d");
    t[0x75] = plain("Zählerstillstände", "Meter stops");
    for (int code : {0x08, 0x1C, 0x60, 0x61})
        t[code].unsignedInt = true;
    return t;
}

const Table kPrimary = buildPrimary();
const Table kFB = buildFB();
const Table kFD = buildFD();

constexpr VifInfo kPlainText{"Text", "Text", "", 1, 0, VifKind::Text};
constexpr VifInfo kManufacturerData{"Herstellerdaten", "Manufacturer data", "", 1, 0, VifKind::Manufacturer};
constexpr VifInfo kUndecodable{"nicht decodierbar", "not decodable", "", 1, 0, VifKind::Reserved};
constexpr VifInfo kEncrypted{"verschlüsselt", "encrypted", "", 1, 0, VifKind::Reserved};
constexpr VifInfo kGlobalReadout{"Globale Auslesung", "Global readout", "", 1, 0, VifKind::Reserved};

std::array<VifInfo, 64> buildFixed()
{
    std::array<VifInfo, 64> t;
    t.fill(kReserved);
    struct Group {
        int first;
        const char* de;
        const char* en;
        const char* unit;
    };
    static const Group groups[] = {
        {0x02, "Energie", "Energy", "Wh"},        {0x05, "Energie", "Energy", "kWh"},
        {0x08, "Energie", "Energy", "MWh"},       {0x0B, "Energie", "Energy", "kJ"},
        {0x0E, "Energie", "Energy", "MJ"},        {0x11, "Energie", "Energy", "GJ"},
        {0x14, "Leistung", "Power", "W"},         {0x17, "Leistung", "Power", "kW"},
        {0x1A, "Leistung", "Power", "MW"},        {0x1D, "Leistung", "Power", "kJ/h"},
        {0x20, "Leistung", "Power", "MJ/h"},      {0x23, "Leistung", "Power", "GJ/h"},
        {0x26, "Volumen", "Volume", "ml"},        {0x29, "Volumen", "Volume", "l"},
        {0x2C, "Volumen", "Volume", "m³"},        {0x2F, "Durchfluss", "Volume flow", "ml/h"},
        {0x32, "Durchfluss", "Volume flow", "l/h"}, {0x35, "Durchfluss", "Volume flow", "m³/h"},
    };
    for (const Group& g : groups)
        for (int k = 0; k < 3; ++k)
            t[g.first + k] = number(g.de, g.en, g.unit, k);
    t[0x00] = plain("Zeit", "Time", "h,m,s");
    t[0x01] = plain("Datum", "Date", "D,M,Y");
    t[0x38] = number("Temperatur", "Temperature", "°C", -3);
    t[0x39] = plain("Heizkostenverteiler-Einheiten", "Units for H.C.A.");
    t[0x3F] = plain("Zähler", "Counter");
    return t;
}

const std::array<VifInfo, 64> kFixed = buildFixed();

const VifInfo* const kSingles[] = {&kPlainText, &kManufacturerData, &kUndecodable, &kEncrypted, &kGlobalReadout};
static_assert(kVifInfoCount == 3 * std::tuple_size_v<Table> + std::tuple_size_v<decltype(kFixed)>
              + std::size(kSingles));

// Position of `info` in `table`, or N when it lies outside.
template <std::size_t N>
std::size_t positionIn(const VifInfo& info, const std::array<VifInfo, N>& table)
{
    const auto address = reinterpret_cast<std::uintptr_t>(&info);
    const auto first = reinterpret_cast<std::uintptr_t>(table.data());
    return address >= first && address < first + N * sizeof(VifInfo) ? (address - first) / sizeof(VifInfo) : N;
}

} // namespace

std::size_t VifInfoIndex(const VifInfo& info)
{
    constexpr std::size_t kTable = std::tuple_size_v<Table>;
    if (const std::size_t i = positionIn(info, kPrimary); i < kTable)
        return i;
    if (const std::size_t i = positionIn(info, kFB); i < kTable)
        return kTable + i;
    if (const std::size_t i = positionIn(info, kFD); i < kTable)
        return 2 * kTable + i;
    if (const std::size_t i = positionIn(info, kFixed); i < kFixed.size())
        return 3 * kTable + i;
    for (std::size_t i = 0; i < std::size(kSingles); ++i)
        if (kSingles[i] == &info)
            return 3 * kTable + kFixed.size() + i;
    return kVifInfoCount;
}

const VifInfo& VifInfoAt(std::size_t index)
{
    for (const Table* table : {&kPrimary, &kFB, &kFD}) {
        if (index < table->size())
            return (*table)[index];
        index -= table->size();
    }
    if (index < kFixed.size())
        return kFixed[index];
    return *kSingles[index - kFixed.size()];
}

const VifInfo& LookupVif(VifTable table, std::uint8_t code)
{
    code &= 0x7F;
    switch (table) {
    case VifTable::FB: return kFB[code];
    case VifTable::FD: return kFD[code];
    case VifTable::Primary: break;
    }
    return kPrimary[code];
}

const VifInfo& PlainTextVif()
{
    return kPlainText;
}

const VifInfo& ManufacturerDataInfo()
{
    return kManufacturerData;
}

const VifInfo& EncryptedInfo()
{
    return kEncrypted;
}

const VifInfo& GlobalReadoutInfo()
{
    return kGlobalReadout;
}

const VifInfo& UndecodableInfo()
{
    return kUndecodable;
}

const VifInfo& FixedCounterInfo(std::uint8_t unitCode, bool& valid)
{
    unitCode &= 0x3F;
    valid = kFixed[unitCode].kind != VifKind::Reserved;
    return kFixed[unitCode];
}

} // namespace kelvaro::mbus

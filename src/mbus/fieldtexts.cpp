#include "mbus/recordtext.h"

// Fixed texts of the M-Bus tables: media, functions, data fields, errors and
// the combinable VIF extensions.
namespace kelvaro::mbus {

namespace {

QString pick(Language language, const char* german, const char* english)
{
    return QString::fromUtf8(language == Language::German ? german : english);
}

QString limitText(std::uint8_t c, Language language)
{
    // E100 uf1b, E101 ufnn, E110 0fnn, E110 1f1b
    const bool upper = (c & 0x08) != 0;
    const bool last = (c & 0x04) != 0;
    const bool de = language == Language::German;
    const QString which = de ? (last ? QStringLiteral("letzte") : QStringLiteral("erste"))
                             : (last ? QStringLiteral("last") : QStringLiteral("first"));
    const QString exceed = de ? (upper ? QStringLiteral("Überschreitung") : QStringLiteral("Unterschreitung"))
                              : (upper ? QStringLiteral("upper limit exceed") : QStringLiteral("lower limit exceed"));
    const QString beginEnd = de ? ((c & 1) ? QStringLiteral("Ende") : QStringLiteral("Beginn"))
                                : ((c & 1) ? QStringLiteral("end") : QStringLiteral("begin"));
    if (c >= 0x40 && c <= 0x4F)
        return beginEnd + QLatin1Char(' ') + which + QLatin1Char(' ') + exceed;
    if (c >= 0x50 && c <= 0x5F)
        return (de ? QStringLiteral("Dauer ") : QStringLiteral("duration ")) + which + QLatin1Char(' ') + exceed;
    if (c >= 0x60 && c <= 0x67)
        return (de ? QStringLiteral("Dauer ") : QStringLiteral("duration ")) + which;
    return beginEnd + QLatin1Char(' ') + which;
}

QString combinableText(std::uint8_t c, Language language)
{
    struct Entry {
        std::uint8_t code;
        const char* de;
        const char* en;
    };
    static const Entry entries[] = {
        {0x12, "Mittelwert", "average value"},
        {0x13, "Kompaktprofil invers", "inverse compact profile"},
        {0x14, "relative Abweichung", "relative deviation"},
        {0x27, "pro Umdrehung/Messung", "per revolution/measurement"},
        {0x28, "Impulswertigkeit Eingang 0", "increment per input pulse on channel 0"},
        {0x29, "Impulswertigkeit Eingang 1", "increment per input pulse on channel 1"},
        {0x2A, "Impulswertigkeit Ausgang 0", "increment per output pulse on channel 0"},
        {0x2B, "Impulswertigkeit Ausgang 1", "increment per output pulse on channel 1"},
        {0x2C, "pro Liter", "per litre"},
        {0x2D, "pro m³", "per m³"},
        {0x2E, "pro kg", "per kg"},
        {0x2F, "pro K", "per K"},
        {0x30, "pro kWh", "per kWh"},
        {0x31, "pro GJ", "per GJ"},
        {0x32, "pro kW", "per kW"},
        {0x33, "pro K·l", "per K·l"},
        {0x34, "pro V", "per V"},
        {0x35, "pro A", "per A"},
        {0x36, "× s", "× s"},
        {0x37, "× s/V", "× s/V"},
        {0x38, "× s/A", "× s/A"},
        {0x39, "Beginn", "start date(/time) of"},
        {0x3A, "unkorrigiert", "uncorrected unit"},
        {0x3B, "nur positiv", "accumulation of positive contributions only"},
        {0x3C, "nur negativ", "accumulation of negative contributions only"},
        {0x3D, "nicht metrisch", "non-metric unit"},
        {0x3E, "Basisbedingungen", "value at base conditions"},
        {0x3F, "OBIS", "OBIS declaration"},
        {0x40, "unterer Grenzwert", "lower limit value"},
        {0x48, "oberer Grenzwert", "upper limit value"},
        {0x41, "Anzahl Unterschreitungen", "number of lower limit exceeds"},
        {0x49, "Anzahl Überschreitungen", "number of upper limit exceeds"},
        {0x7E, "Zukunftswert", "future value"},
    };
    for (const Entry& e : entries)
        if (e.code == c)
            return pick(language, e.de, e.en);
    if ((c >= 0x42 && c <= 0x4F && c != 0x44 && c != 0x45 && c != 0x48 && c != 0x49 && c != 0x4C && c != 0x4D)
        || (c >= 0x50 && c <= 0x67) || c == 0x6A || c == 0x6B || c == 0x6E || c == 0x6F)
        return limitText(c, language);
    return {};
}

QString secondTableText(std::uint8_t c, Language language)
{
    static const char* const phases[] = {"", "L1", "L2", "L3", "N", "L1-L2", "L2-L3", "L3-L1"};
    if (c >= 0x01 && c <= 0x07)
        return pick(language, "Phase ", "phase ") + QLatin1String(phases[c]);
    if (c >= 0x08 && c <= 0x0B)
        return QStringLiteral("Quadrant Q%1").arg(c - 7);
    switch (c) {
    case 0x0C: return pick(language, "Delta Bezug/Lieferung", "delta import/export");
    case 0x10: return pick(language, "Betrag beider Richtungen", "absolute value in both directions");
    case 0x14: return pick(language, "Richtung zum Zähler", "direction to meter");
    case 0x15: return pick(language, "Richtung vom Zähler", "direction from meter");
    default: return {};
    }
}

} // namespace

QString MediumText(std::uint8_t medium, Language language)
{
    struct Entry {
        std::uint8_t code;
        const char* de;
        const char* en;
    };
    static const Entry entries[] = {
        {0x00, "Sonstiges", "Other"},
        {0x01, "Öl", "Oil"},
        {0x02, "Elektrizität", "Electricity"},
        {0x03, "Gas", "Gas"},
        {0x04, "Wärme (Rücklauf)", "Heat (outlet)"},
        {0x05, "Dampf", "Steam"},
        {0x06, "Warmwasser", "Warm water"},
        {0x07, "Wasser", "Water"},
        {0x08, "Heizkostenverteiler", "Heat cost allocator"},
        {0x09, "Druckluft", "Compressed air"},
        {0x0A, "Kälte (Rücklauf)", "Cooling (outlet)"},
        {0x0B, "Kälte (Vorlauf)", "Cooling (inlet)"},
        {0x0C, "Wärme (Vorlauf)", "Heat (inlet)"},
        {0x0D, "Wärme/Kälte", "Heat / cooling"},
        {0x0E, "Bus/System", "Bus / system"},
        {0x0F, "Unbekannt", "Unknown"},
        {0x10, "Brauchwasser", "Irrigation water"},
        {0x11, "Datenlogger Wasser", "Water data logger"},
        {0x12, "Datenlogger Gas", "Gas data logger"},
        {0x13, "Gas-Mengenumwerter", "Gas converter"},
        {0x14, "Brennwert", "Calorific value"},
        {0x15, "Heißwasser", "Hot water"},
        {0x16, "Kaltwasser", "Cold water"},
        {0x17, "Kalt-/Warmwasser", "Dual register (hot/cold) water"},
        {0x18, "Druck", "Pressure"},
        {0x19, "A/D-Wandler", "A/D converter"},
        {0x1A, "Rauchwarnmelder", "Smoke detector"},
        {0x1B, "Raumsensor", "Room sensor"},
        {0x1C, "Gaswarnmelder", "Gas detector"},
        {0x20, "Schalter (Elektrizität)", "Breaker (electricity)"},
        {0x21, "Ventil", "Valve (gas or water)"},
        {0x25, "Kundenanzeige", "Customer display unit"},
        {0x28, "Abwasser", "Waste water"},
        {0x29, "Abfall", "Waste"},
        {0x30, "Servicegerät", "Service unit"},
        {0x31, "Gateway", "Gateway"},
        {0x32, "Repeater", "Repeater (unidirectional)"},
        {0x33, "Repeater", "Repeater (bidirectional)"},
        {0x36, "Funkumsetzer", "Radio converter (system side)"},
        {0x37, "Funkumsetzer", "Radio converter (meter side)"},
        {0x38, "Busumsetzer", "Bus converter (meter side)"},
    };
    for (const Entry& e : entries)
        if (e.code == medium)
            return pick(language, e.de, e.en);
    return QStringLiteral("Medium 0x") + QStringLiteral("%1").arg(medium, 2, 16, QLatin1Char('0')).toUpper();
}

QString ManufacturerText(std::uint16_t code)
{
    char letters[3];
    if (ManufacturerLetters(code, letters))
        return QString::fromLatin1(letters, 3);
    return QStringLiteral("%1").arg(code, 4, 16, QLatin1Char('0')).toUpper();
}

QString IdentificationText(std::uint32_t idRaw)
{
    char digits[8];
    IdentificationDigits(idRaw, digits);
    return QString::fromLatin1(digits, 8);
}

QString FunctionText(std::uint8_t function, Language language)
{
    switch (function & 3) {
    case 0: return pick(language, "Momentanwert", "Instantaneous value");
    case 1: return pick(language, "Maximalwert", "Maximum value");
    case 2: return pick(language, "Minimalwert", "Minimum value");
    default: return pick(language, "Wert im Fehlerzustand", "Value during error state");
    }
}

QString RecordFunctionText(const DataRecord& r, Language language)
{
    if (r.info == &UndecodableInfo() || r.info == &EncryptedInfo())
        return {};
    switch (r.dif) {
    case 0x0F: return pick(language, "Herstellerspezifisch", "Manufacturer specific");
    case 0x1F: return pick(language, "Weitere Datensätze folgen", "More records follow");
    case 0x7F: return pick(language, "Globale Auslesung", "Global readout");
    default: return FunctionText(r.function(), language);
    }
}

QString DataFieldText(std::uint8_t dif, Language language)
{
    static const char* const de[16] = {"keine Daten", "8 Bit Integer", "16 Bit Integer", "24 Bit Integer",
                                       "32 Bit Integer", "32 Bit Real", "48 Bit Integer", "64 Bit Integer",
                                       "Auswahl zum Auslesen", "2 Stellen BCD", "4 Stellen BCD", "6 Stellen BCD",
                                       "8 Stellen BCD", "variable Länge", "12 Stellen BCD", "Sonderfunktion"};
    static const char* const en[16] = {"No data", "8 Bit Integer", "16 Bit Integer", "24 Bit Integer",
                                       "32 Bit Integer", "32 Bit Real", "48 Bit Integer", "64 Bit Integer",
                                       "Selection for readout", "2 digit BCD", "4 digit BCD", "6 digit BCD",
                                       "8 digit BCD", "variable length", "12 digit BCD", "Special function"};
    return pick(language, de[dif & 15], en[dif & 15]);
}

QString ApplicationErrorText(std::uint8_t code, Language language)
{
    static const char* const de[10] = {"Unspezifizierter Fehler", "CI nicht implementiert",
                                       "Puffer zu lang, abgeschnitten", "Zu viele Datensätze",
                                       "Vorzeitiges Datensatzende", "Mehr als 10 DIFE", "Mehr als 10 VIFE",
                                       "reserviert", "Anwendung beschäftigt", "Zu viele Auslesungen"};
    static const char* const en[10] = {"Unspecified error", "Unimplemented CI field", "Buffer too long, truncated",
                                       "Too many records", "Premature end of record", "More than 10 DIFE",
                                       "More than 10 VIFE", "Reserved", "Application too busy",
                                       "Too many readouts"};
    return code < 10 ? pick(language, de[code], en[code]) : pick(language, "reserviert", "Reserved");
}

QString RecordErrorText(std::uint8_t code, Language language)
{
    struct Entry {
        std::uint8_t code;
        const char* de;
        const char* en;
    };
    static const Entry entries[] = {
        {0x01, "zu viele DIFE", "too many DIFEs"},
        {0x02, "Speichernummer nicht implementiert", "storage number not implemented"},
        {0x03, "Untereinheit nicht implementiert", "unit number not implemented"},
        {0x04, "Tarif nicht implementiert", "tariff number not implemented"},
        {0x05, "Funktion nicht implementiert", "function not implemented"},
        {0x06, "Datenklasse nicht implementiert", "data class not implemented"},
        {0x07, "Datengröße nicht implementiert", "data size not implemented"},
        {0x0B, "zu viele VIFE", "too many VIFEs"},
        {0x0C, "unzulässige VIF-Gruppe", "illegal VIF group"},
        {0x0D, "unzulässiger VIF-Exponent", "illegal VIF exponent"},
        {0x0E, "VIF/DIF passen nicht", "VIF/DIF mismatch"},
        {0x0F, "nicht implementierte Aktion", "unimplemented action"},
        {0x15, "keine Daten verfügbar", "no data available"},
        {0x16, "Überlauf", "data overflow"},
        {0x17, "Unterlauf", "data underflow"},
        {0x18, "Datenfehler", "data error"},
        {0x1C, "vorzeitiges Datensatzende", "premature end of record"},
    };
    for (const Entry& e : entries)
        if (e.code == code)
            return pick(language, e.de, e.en);
    return pick(language, "Fehler 0x", "error 0x") + QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
}

QString VifeDescription(const Telegram& t, const DataRecord& r, Language language)
{
    QStringList parts;
    if (r.info->kind == VifKind::Manufacturer) // its extensions are the maker's too
        return {};
    const std::uint8_t* v = t.bytes.data() + r.vibOffset + r.vifeStart;
    bool second = false;
    for (int i = 0; i < r.vifeCount; ++i) {
        const std::uint8_t c = v[i] & 0x7F;
        if (second) {
            second = false;
            const QString s = secondTableText(c, language);
            if (!s.isEmpty())
                parts << s;
            continue;
        }
        if (c == 0x7F) {
            parts << pick(language, "herstellerspezifisch", "manufacturer specific");
            break;
        }
        if (c == 0x7C) {
            second = true;
            continue;
        }
        const QString s = combinableText(c, language);
        if (!s.isEmpty())
            parts << s;
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace kelvaro::mbus

#include "mbus/recordtext.h"

// Fixed texts of the M-Bus tables: media, functions, data fields, errors and
// the combinable VIF extensions.
namespace kelvaro::mbus {

namespace {

// The texts are of static storage: handing one out copies and converts nothing.
QString pick(Language language, QStringView german, QStringView english)
{
    const QStringView text = language == Language::German ? german : english;
    return QString::fromRawData(text.data(), text.size());
}

// The same with the lengths known when compiling.
template <std::size_t N, std::size_t M>
QString pick(Language language, const char16_t (&german)[N], const char16_t (&english)[M])
{
    return language == Language::German ? QString::fromRawData(reinterpret_cast<const QChar*>(german), N - 1)
                                        : QString::fromRawData(reinterpret_cast<const QChar*>(english), M - 1);
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
        QStringView de;
        QStringView en;
    };
    static const Entry entries[] = {
        {0x12, u"Mittelwert", u"average value"},
        {0x13, u"Kompaktprofil invers", u"inverse compact profile"},
        {0x14, u"relative Abweichung", u"relative deviation"},
        {0x27, u"pro Umdrehung/Messung", u"per revolution/measurement"},
        {0x28, u"Impulswertigkeit Eingang 0", u"increment per input pulse on channel 0"},
        {0x29, u"Impulswertigkeit Eingang 1", u"increment per input pulse on channel 1"},
        {0x2A, u"Impulswertigkeit Ausgang 0", u"increment per output pulse on channel 0"},
        {0x2B, u"Impulswertigkeit Ausgang 1", u"increment per output pulse on channel 1"},
        {0x2C, u"pro Liter", u"per litre"},
        {0x2D, u"pro m³", u"per m³"},
        {0x2E, u"pro kg", u"per kg"},
        {0x2F, u"pro K", u"per K"},
        {0x30, u"pro kWh", u"per kWh"},
        {0x31, u"pro GJ", u"per GJ"},
        {0x32, u"pro kW", u"per kW"},
        {0x33, u"pro K·l", u"per K·l"},
        {0x34, u"pro V", u"per V"},
        {0x35, u"pro A", u"per A"},
        {0x36, u"× s", u"× s"},
        {0x37, u"× s/V", u"× s/V"},
        {0x38, u"× s/A", u"× s/A"},
        {0x39, u"Beginn", u"start date(/time) of"},
        {0x3A, u"unkorrigiert", u"uncorrected unit"},
        {0x3B, u"nur positiv", u"accumulation of positive contributions only"},
        {0x3C, u"nur negativ", u"accumulation of negative contributions only"},
        {0x3D, u"nicht metrisch", u"non-metric unit"},
        {0x3E, u"Basisbedingungen", u"value at base conditions"},
        {0x3F, u"OBIS", u"OBIS declaration"},
        {0x40, u"unterer Grenzwert", u"lower limit value"},
        {0x48, u"oberer Grenzwert", u"upper limit value"},
        {0x41, u"Anzahl Unterschreitungen", u"number of lower limit exceeds"},
        {0x49, u"Anzahl Überschreitungen", u"number of upper limit exceeds"},
        {0x7E, u"Zukunftswert", u"future value"},
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
        return pick(language, u"Phase ", u"phase ") + QLatin1String(phases[c]);
    if (c >= 0x08 && c <= 0x0B)
        return QStringLiteral("Quadrant Q%1").arg(c - 7);
    switch (c) {
    case 0x0C: return pick(language, u"Delta Bezug/Lieferung", u"delta import/export");
    case 0x10: return pick(language, u"Betrag beider Richtungen", u"absolute value in both directions");
    case 0x14: return pick(language, u"Richtung zum Zähler", u"direction to meter");
    case 0x15: return pick(language, u"Richtung vom Zähler", u"direction from meter");
    default: return {};
    }
}

} // namespace

QString MediumText(std::uint8_t medium, Language language)
{
    struct Entry {
        std::uint8_t code;
        QStringView de;
        QStringView en;
    };
    static const Entry entries[] = {
        {0x00, u"Sonstiges", u"Other"},
        {0x01, u"Öl", u"Oil"},
        {0x02, u"Elektrizität", u"Electricity"},
        {0x03, u"Gas", u"Gas"},
        {0x04, u"Wärme (Rücklauf)", u"Heat (outlet)"},
        {0x05, u"Dampf", u"Steam"},
        {0x06, u"Warmwasser", u"Warm water"},
        {0x07, u"Wasser", u"Water"},
        {0x08, u"Heizkostenverteiler", u"Heat cost allocator"},
        {0x09, u"Druckluft", u"Compressed air"},
        {0x0A, u"Kälte (Rücklauf)", u"Cooling (outlet)"},
        {0x0B, u"Kälte (Vorlauf)", u"Cooling (inlet)"},
        {0x0C, u"Wärme (Vorlauf)", u"Heat (inlet)"},
        {0x0D, u"Wärme/Kälte", u"Heat / cooling"},
        {0x0E, u"Bus/System", u"Bus / system"},
        {0x0F, u"Unbekannt", u"Unknown"},
        {0x10, u"Brauchwasser", u"Irrigation water"},
        {0x11, u"Datenlogger Wasser", u"Water data logger"},
        {0x12, u"Datenlogger Gas", u"Gas data logger"},
        {0x13, u"Gas-Mengenumwerter", u"Gas converter"},
        {0x14, u"Brennwert", u"Calorific value"},
        {0x15, u"Heißwasser", u"Hot water"},
        {0x16, u"Kaltwasser", u"Cold water"},
        {0x17, u"Kalt-/Warmwasser", u"Dual register (hot/cold) water"},
        {0x18, u"Druck", u"Pressure"},
        {0x19, u"A/D-Wandler", u"A/D converter"},
        {0x1A, u"Rauchwarnmelder", u"Smoke detector"},
        {0x1B, u"Raumsensor", u"Room sensor"},
        {0x1C, u"Gaswarnmelder", u"Gas detector"},
        {0x20, u"Schalter (Elektrizität)", u"Breaker (electricity)"},
        {0x21, u"Ventil", u"Valve (gas or water)"},
        {0x25, u"Kundenanzeige", u"Customer display unit"},
        {0x28, u"Abwasser", u"Waste water"},
        {0x29, u"Abfall", u"Waste"},
        {0x30, u"Servicegerät", u"Service unit"},
        {0x31, u"Gateway", u"Gateway"},
        {0x32, u"Repeater", u"Repeater (unidirectional)"},
        {0x33, u"Repeater", u"Repeater (bidirectional)"},
        {0x36, u"Funkumsetzer", u"Radio converter (system side)"},
        {0x37, u"Funkumsetzer", u"Radio converter (meter side)"},
        {0x38, u"Busumsetzer", u"Bus converter (meter side)"},
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
    case 0: return pick(language, u"Momentanwert", u"Instantaneous value");
    case 1: return pick(language, u"Maximalwert", u"Maximum value");
    case 2: return pick(language, u"Minimalwert", u"Minimum value");
    default: return pick(language, u"Wert im Fehlerzustand", u"Value during error state");
    }
}

QString RecordFunctionText(const DataRecord& r, Language language)
{
    if (r.info == &UndecodableInfo() || r.info == &EncryptedInfo())
        return {};
    switch (r.dif) {
    case 0x0F: return pick(language, u"Herstellerspezifisch", u"Manufacturer specific");
    case 0x1F: return pick(language, u"Weitere Datensätze folgen", u"More records follow");
    case 0x7F: return pick(language, u"Globale Auslesung", u"Global readout");
    default: return FunctionText(r.function(), language);
    }
}

QString DataFieldText(std::uint8_t dif, Language language)
{
    static constexpr QStringView de[16] = {u"keine Daten", u"8 Bit Integer", u"16 Bit Integer", u"24 Bit Integer",
                                           u"32 Bit Integer", u"32 Bit Real", u"48 Bit Integer", u"64 Bit Integer",
                                           u"Auswahl zum Auslesen", u"2 Stellen BCD", u"4 Stellen BCD",
                                           u"6 Stellen BCD", u"8 Stellen BCD", u"variable Länge", u"12 Stellen BCD",
                                           u"Sonderfunktion"};
    static constexpr QStringView en[16] = {u"No data", u"8 Bit Integer", u"16 Bit Integer", u"24 Bit Integer",
                                           u"32 Bit Integer", u"32 Bit Real", u"48 Bit Integer", u"64 Bit Integer",
                                           u"Selection for readout", u"2 digit BCD", u"4 digit BCD", u"6 digit BCD",
                                           u"8 digit BCD", u"variable length", u"12 digit BCD", u"Special function"};
    return pick(language, de[dif & 15], en[dif & 15]);
}

QString ApplicationErrorText(std::uint8_t code, Language language)
{
    static constexpr QStringView de[10] = {u"Unspezifizierter Fehler", u"CI nicht implementiert",
                                           u"Puffer zu lang, abgeschnitten", u"Zu viele Datensätze",
                                           u"Vorzeitiges Datensatzende", u"Mehr als 10 DIFE", u"Mehr als 10 VIFE",
                                           u"reserviert", u"Anwendung beschäftigt", u"Zu viele Auslesungen"};
    static constexpr QStringView en[10] = {u"Unspecified error", u"Unimplemented CI field",
                                           u"Buffer too long, truncated", u"Too many records",
                                           u"Premature end of record", u"More than 10 DIFE", u"More than 10 VIFE",
                                           u"Reserved", u"Application too busy", u"Too many readouts"};
    return code < 10 ? pick(language, de[code], en[code]) : pick(language, u"reserviert", u"Reserved");
}

QString RecordErrorText(std::uint8_t code, Language language)
{
    struct Entry {
        std::uint8_t code;
        QStringView de;
        QStringView en;
    };
    static const Entry entries[] = {
        {0x01, u"zu viele DIFE", u"too many DIFEs"},
        {0x02, u"Speichernummer nicht implementiert", u"storage number not implemented"},
        {0x03, u"Untereinheit nicht implementiert", u"unit number not implemented"},
        {0x04, u"Tarif nicht implementiert", u"tariff number not implemented"},
        {0x05, u"Funktion nicht implementiert", u"function not implemented"},
        {0x06, u"Datenklasse nicht implementiert", u"data class not implemented"},
        {0x07, u"Datengröße nicht implementiert", u"data size not implemented"},
        {0x0B, u"zu viele VIFE", u"too many VIFEs"},
        {0x0C, u"unzulässige VIF-Gruppe", u"illegal VIF group"},
        {0x0D, u"unzulässiger VIF-Exponent", u"illegal VIF exponent"},
        {0x0E, u"VIF/DIF passen nicht", u"VIF/DIF mismatch"},
        {0x0F, u"nicht implementierte Aktion", u"unimplemented action"},
        {0x15, u"keine Daten verfügbar", u"no data available"},
        {0x16, u"Überlauf", u"data overflow"},
        {0x17, u"Unterlauf", u"data underflow"},
        {0x18, u"Datenfehler", u"data error"},
        {0x1C, u"vorzeitiges Datensatzende", u"premature end of record"},
    };
    for (const Entry& e : entries)
        if (e.code == code)
            return pick(language, e.de, e.en);
    return pick(language, u"Fehler 0x", u"error 0x")
           + QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
}

QString VifeDescription(const Telegram& t, const DataRecord& r, Language language)
{
    QString text;
    if (r.info->kind == VifKind::Manufacturer) // its extensions are the maker's too
        return text;
    auto add = [&text](const QString& part) {
        if (part.isEmpty())
            return;
        if (!text.isEmpty())
            text += QStringView(u", ", 2);
        text += part;
    };
    const std::uint8_t* v = t.bytes.data() + r.vibOffset + r.vifeStart;
    bool second = false;
    for (int i = 0; i < r.vifeCount; ++i) {
        const std::uint8_t c = v[i] & 0x7F;
        if (second) {
            second = false;
            add(secondTableText(c, language));
            continue;
        }
        if (c == 0x7F) {
            add(pick(language, u"herstellerspezifisch", u"manufacturer specific"));
            break;
        }
        if (c == 0x7C) {
            second = true;
            continue;
        }
        add(combinableText(c, language));
    }
    return text;
}

} // namespace kelvaro::mbus

#pragma once
#include <QString>
#include <QVariant>
#include <optional>

namespace kelvaro {

// What an operator typed into a field or cell, read the way it was meant or
// refused: the editors never store the leading digits of "24OO" or a 0 for
// "abc". Blanks at the ends are allowed; an empty text is "no value".

// A whole number with an optional sign: "12", " -3 ". "12abc", "1.5", "1e3"
// are no whole numbers.
std::optional<qint64> ReadWholeNumber(const QString& text);

// A decimal number as typed on a German or any other keyboard:
//  - "," is the decimal separator; "." before it groups thousands
//    ("1.000,25" = 1000.25, groups of three digits only);
//  - without ",", a single "." is a decimal point ("0.5" = 0.5, and
//    "1.000" = 1), several "." group thousands ("1.000.000");
//  - an exponent may follow ("1e-3", "2,5E2").
// "1F", "0.5.1,2", "1,000.5" and "1.00,5" are refused.
std::optional<double> ReadDecimalNumber(const QString& text);

// A decimal number as the grids show it: decimal comma, 15 significant
// digits, an exponent for very small and very large numbers ("1e-07"), so
// that ReadDecimalNumber reads back what is shown.
QString DecimalText(double value);

// "True"/"Wahr"/"1"/"-1" and "False"/"Falsch"/"0" in any case; anything else
// is no boolean.
std::optional<bool> ReadBooleanText(const QString& text);

// Characters as a database column counts them (code points).
qsizetype ColumnLength(const QString& text);

// One checked value of a field: its value for the database (null for an
// empty field), or the message that names the field and what is wrong.
struct CheckedValue {
    QVariant value;
    QString problem;
    bool ok() const { return problem.isEmpty(); }
};

// `field` names the field in the message ("MBus Adresse", "Faktor (Zeile 2)").
CheckedValue CheckWholeNumber(const QString& field, const QString& text, qint64 lowest, qint64 highest);
CheckedValue CheckDecimalNumber(const QString& field, const QString& text);
// A text for a column of `width` characters (taken as typed).
CheckedValue CheckText(const QString& field, const QString& text, int width);
// "True"/"False" (or the default for an empty cell) as a boolean.
CheckedValue CheckBoolean(const QString& field, const QString& text, bool whenEmpty);

// A refused save's message: the problem and that nothing was stored.
QString NothingStoredMessage(const QString& problem);

// The widths of the text columns the editors write (src/data/schema.sql).
struct ColumnWidths {
    static constexpr int ZNr = 255;
    static constexpr int ZName = 255;
    static constexpr int MB_SelectSec = 255;
    static constexpr int MB_ID = 8;           // the eight digits of a secondary address
    static constexpr int Art = 40;            // MB_IndexListe
    static constexpr int Einheit = 15;        // MB_IndexListe
    static constexpr int ExportText = 255;    // MBusIndexListe.text
    static constexpr int MSCONS_Lokation = 35; // zaehler: a metering point has 33 characters
};

} // namespace kelvaro

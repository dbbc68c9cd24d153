#pragma once
#include <QString>

namespace kelvaro {

// Overwrites every occurrence of `what` in place with `with` (an empty `with`
// counts as one blank); the text keeps its length. With a blank as `with`, the
// result is trimmed, which removes characters at the ends of a text. Stops with
// "Schwerer Fehler ReplaceAll! ..." after more than 1000 rounds.
void ReplaceAll(QString& source, const QString& what, const QString& with);

// Replaces every occurrence, restarting at the beginning after each; returns
// the text unchanged when `with` contains `what` (that would never end).
QString ReplaceAllRecursive(const QString& text, const QString& what, const QString& with);

// DOS code page 437 umlauts (as read into a Windows-1252 text) to their letters.
void DosUmlautsToAnsi(QString& text);

// "AB", ";" -> "41;42;"
QString StringToHex(const QString& text, const QString& separator);
// "41;42;" -> "AB"; items that are not hexadecimal become code 0.
QString HexToString(const QString& hexList);

// The program-wide currency symbol used by ToDouble ("€" from first use on).
QString& CurrencySymbol();

// Tolerant number reading with the German rules: "1.234,5" -> 1234.5,
// "12,5 €" -> 12.5, "" -> 0, anything non-numeric -> 0.
double ToDouble(const QString& text);
// Whether `text` is a number by the German rules (currency symbol allowed).
bool IsNumericGerman(const QString& text, double* value = nullptr);

// The leading number of a text as the classic Val() reads it: "12abc" -> 12,
// "abc" -> 0. Decimal point is ".".
double Val(const QString& text);

// German number text: decimal comma, no thousands separator; `decimals` < 0
// gives the shortest exact form.
QString GermanNumber(double value, int decimals = -1);

} // namespace kelvaro

#pragma once
#include <QList>
#include <QString>
#include <QVariant>

namespace kelvaro {

class MeterIndexGrid;

// The master data of one meter as the edit frame shows them: `Text1(0..7)`
// (7 is the secondary address MB_ID) and `Check1`.
struct MeterFields {
    QString ZNr;
    QString ZName;
    QString MBAdr;
    QString MBComP;
    QString MBBaud;
    QString MBIndex;
    QString MB_SelectSec;
    QString MB_ID;
    int MBZstand = 0;
    QString MSCONS_Lokation; // where the MSCONS readings of the meter are sent for
};

// The text boxes of the edit frame, numbered as `Text1`.
enum MeterField { FieldZNr, FieldZName, FieldMBAdr, FieldMBComP, FieldMBBaud, FieldMBIndex, FieldSelect, FieldMBID,
                  FieldLocation, MeterFieldCount };
struct MeterFieldText {
    const char* label; // "MBus Adresse :"
    const char* hint;
};
const MeterFieldText& MeterFieldTexts(int field);
// The label without its colon, as messages name the field.
QString MeterFieldName(int field);
// The most characters a box takes (its column's width; the numbers' widest text).
int MeterFieldLength(int field);

// The fields as the database takes them: empty number fields and an empty
// MB_ID are null.
struct CheckedMeter {
    QVariant ZNr, ZName, MBAdr, MBComP, MBBaud, MBIndex, MB_SelectSec, MB_ID;
    int MBZstand = 0;
    QVariant MSCONS_Lokation;
};
// Fills `out`, or returns the message that names the first field that cannot
// be stored as typed (letters in a number, a number out of its range, a text
// longer than its column, an MB_ID that is not eight decimal digits). An
// empty location is null.
QString CheckMeterFields(const MeterFields& fields, CheckedMeter& out);

// One index row of the meter list editor as the database takes it. An empty
// Anzeigen is false, an empty Speichern true; empty numbers are null.
struct CheckedIndexRow {
    qint64 index = 0;
    bool anzeigen = false;
    QString art, einheit;
    QVariant faktor, typ;
    bool speichern = true;
};
// The same for every row of the grid; the message names column and row.
QString CheckIndexRows(const MeterIndexGrid& grid, QList<CheckedIndexRow>& out);
// The stored values as the grid shows them after a save.
void ShowStoredIndexRows(MeterIndexGrid& grid, const QList<CheckedIndexRow>& rows);

} // namespace kelvaro

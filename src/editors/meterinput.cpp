#include "editors/meterinput.h"

#include "editors/meterindexgrid.h"
#include "editors/typedinput.h"

#include <algorithm>
#include <limits>

namespace kelvaro {
namespace {

constexpr qint64 kByte = 255;          // the master keeps address and port in a byte
constexpr qint64 kValueSlots = 255;    // the value slots of a response
constexpr qint64 kInteger = std::numeric_limits<qint32>::max();

const MeterFieldText kTexts[MeterFieldCount] = {
    {"Zählernummer :", "Nummer die auf dem Zähler steht"},
    {"Zählername :", "Was wird gezählt oder Ort usw..."},
    {"MBus Adresse :", "MBus Primäradresse"},
    {"Com Port :", "Nummer des Com-Anschluß"},
    {"Baudrate :", "Baudrate (300;1200,2400,9600)"},
    {"Index :", ""},
    {"Select :", ""},
    {"MBus ID :", "MBus Sekundäradresse: die 8 Ziffern der Identnummer, leer = Lesen über die Primäradresse"},
    {"Lokation :", "Mess- oder Marktlokation, für die MSCONS-Zählerstände gesendet werden (leer = keine)"},
};

bool isSecondaryAddress(const QString& id)
{
    return id.size() == ColumnWidths::MB_ID
        && std::all_of(id.begin(), id.end(), [](QChar c) { return c >= '0' && c <= '9'; });
}

QString cellName(const MeterIndexGrid& grid, int row, int column)
{
    return grid.headers().value(column) + QStringLiteral(" (Zeile %1, Index %2)").arg(row + 1).arg(
                                              grid.cell(row, MeterIndexGrid::ColIndex).trimmed());
}

QString numberText(const QVariant& value) { return value.isNull() ? QString() : QString::number(value.toLongLong()); }

} // namespace

const MeterFieldText& MeterFieldTexts(int field) { return kTexts[field]; }

QString MeterFieldName(int field)
{
    QString name = QString::fromUtf8(kTexts[field].label);
    name.chop(2);
    return name;
}

int MeterFieldLength(int field)
{
    switch (field) {
    case FieldZNr:
        return ColumnWidths::ZNr;
    case FieldZName:
        return ColumnWidths::ZName;
    case FieldSelect:
        return ColumnWidths::MB_SelectSec;
    case FieldMBID:
        return ColumnWidths::MB_ID;
    case FieldLocation:
        return ColumnWidths::MSCONS_Lokation;
    default:
        return 11; // "-2147483648"
    }
}

QString CheckMeterFields(const MeterFields& f, CheckedMeter& out)
{
    CheckedMeter checked;
    const struct {
        QVariant* target;
        CheckedValue value;
    } steps[] = {
        {&checked.ZNr, CheckText(MeterFieldName(FieldZNr), f.ZNr, ColumnWidths::ZNr)},
        {&checked.ZName, CheckText(MeterFieldName(FieldZName), f.ZName, ColumnWidths::ZName)},
        {&checked.MBAdr, CheckWholeNumber(MeterFieldName(FieldMBAdr), f.MBAdr, 0, kByte)},
        {&checked.MBComP, CheckWholeNumber(MeterFieldName(FieldMBComP), f.MBComP, 0, kByte)},
        {&checked.MBBaud, CheckWholeNumber(MeterFieldName(FieldMBBaud), f.MBBaud, 0, kInteger)},
        {&checked.MBIndex, CheckWholeNumber(MeterFieldName(FieldMBIndex), f.MBIndex, 0, kValueSlots)},
        {&checked.MB_SelectSec, CheckText(MeterFieldName(FieldSelect), f.MB_SelectSec, ColumnWidths::MB_SelectSec)},
        {&checked.MSCONS_Lokation,
         CheckText(MeterFieldName(FieldLocation), f.MSCONS_Lokation.trimmed(), ColumnWidths::MSCONS_Lokation)},
    };
    for (const auto& step : steps) {
        if (!step.value.ok())
            return step.value.problem;
        *step.target = step.value.value;
    }
    const QString id = f.MB_ID.trimmed();
    if (!id.isEmpty() && !isSecondaryAddress(id))
        return MeterFieldName(FieldMBID) + QStringLiteral(" : \"") + f.MB_ID
            + QStringLiteral("\" ist keine Sekundäradresse (genau 8 Ziffern, oder leer für das Lesen über die "
                             "Primäradresse).");
    checked.MB_ID = id.isEmpty() ? QVariant() : QVariant(id);
    if (checked.MSCONS_Lokation.toString().isEmpty())
        checked.MSCONS_Lokation = QVariant();
    checked.MBZstand = f.MBZstand != 0 ? 1 : 0;
    out = checked;
    return {};
}

QString CheckIndexRows(const MeterIndexGrid& grid, QList<CheckedIndexRow>& out)
{
    QList<CheckedIndexRow> rows;
    for (int row = 0; row < grid.rowCount(); ++row) {
        const auto name = [&](int column) { return cellName(grid, row, column); };
        const auto cell = [&](int column) { return grid.cell(row, column); };
        const auto index = ReadWholeNumber(cell(MeterIndexGrid::ColIndex));
        if (!index)
            return name(MeterIndexGrid::ColIndex) + QStringLiteral(" : kein Index.");
        const CheckedValue values[] = {
            CheckBoolean(name(MeterIndexGrid::ColAnzeigen), cell(MeterIndexGrid::ColAnzeigen), false),
            CheckText(name(MeterIndexGrid::ColArt), cell(MeterIndexGrid::ColArt), ColumnWidths::Art),
            CheckText(name(MeterIndexGrid::ColEinheit), cell(MeterIndexGrid::ColEinheit), ColumnWidths::Einheit),
            CheckDecimalNumber(name(MeterIndexGrid::ColFaktor), cell(MeterIndexGrid::ColFaktor)),
            CheckWholeNumber(name(MeterIndexGrid::ColTyp), cell(MeterIndexGrid::ColTyp), -kInteger - 1, kInteger),
            CheckBoolean(name(MeterIndexGrid::ColSpeichern), cell(MeterIndexGrid::ColSpeichern), true),
        };
        for (const CheckedValue& value : values)
            if (!value.ok())
                return value.problem;
        rows.append({*index, values[0].value.toBool(), values[1].value.toString(), values[2].value.toString(),
                     values[3].value, values[4].value, values[5].value.toBool()});
    }
    out = rows;
    return {};
}

void ShowStoredIndexRows(MeterIndexGrid& grid, const QList<CheckedIndexRow>& rows)
{
    for (int row = 0; row < grid.rowCount() && row < rows.size(); ++row) {
        const CheckedIndexRow& stored = rows[row];
        // An empty Anzeigen keeps the lower-case "false" it always showed.
        const QString shown = grid.cell(row, MeterIndexGrid::ColAnzeigen).trimmed().isEmpty()
            ? QStringLiteral("false")
            : BooleanCellText(stored.anzeigen);
        grid.setCell(row, MeterIndexGrid::ColAnzeigen, shown);
        grid.setCell(row, MeterIndexGrid::ColFaktor,
                     stored.faktor.isNull() ? QString() : DecimalText(stored.faktor.toDouble()));
        grid.setCell(row, MeterIndexGrid::ColTyp, numberText(stored.typ));
        grid.setCell(row, MeterIndexGrid::ColSpeichern, BooleanCellText(stored.speichern));
    }
}

} // namespace kelvaro

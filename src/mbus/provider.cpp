#include "mbus/provider.h"

#include "foundation/lasterror.h"
#include "mbus/frame.h"
#include "mbus/hexlist.h"

namespace kelvaro::mbus {

int MBusProvider::APPInterpretTelegramHex(const QString& hex)
{
    QByteArray bytes;
    QString error;
    if (!ParseHexBytes(hex, bytes, &error)) {
        clearTelegram();
        telegram_.error = DecodeError::Empty;
        lastErrorText_ = QStringLiteral("Telegramm nicht lesbar: ") + error;
        SetLastErrorText(lastErrorText_);
        return static_cast<int>(DecodeError::Empty);
    }
    return interpretFrame(bytes);
}

int MBusProvider::interpretFrame(const QByteArray& frame)
{
    decoded_ = DecodeTelegram(ByteSpan(frame), telegram_);
    if (!decoded_) {
        lastErrorText_ = QStringLiteral("Telegramm nicht decodierbar: ") + QString::fromUtf8(DecodeErrorText(telegram_.error));
        SetLastErrorText(lastErrorText_);
        return static_cast<int>(telegram_.error);
    }
    lastErrorText_.clear();
    if (telegram_.error != DecodeError::None) {
        lastErrorText_ = QStringLiteral("Datensatz ab Byte %1 nicht decodierbar: %2")
                             .arg(telegram_.errorOffset)
                             .arg(QString::fromUtf8(DecodeErrorText(telegram_.error)));
        SetLastErrorText(lastErrorText_);
    }
    return 0;
}

void MBusProvider::clearTelegram()
{
    telegram_.clear();
    decoded_ = false;
    lastErrorText_.clear();
}

QString MBusProvider::APPRetrieveRawDataHex() const
{
    return StrToHexListe(QByteArray(reinterpret_cast<const char*>(telegram_.bytes.data()), telegram_.size), {});
}

namespace {
QString decimalBytes(const std::uint8_t* p, std::size_t n)
{
    QString s;
    s.reserve(static_cast<qsizetype>(n * 3));
    for (std::size_t i = 0; i < n; ++i)
        s += QStringLiteral("%1").arg(p[i], 3, 10, QLatin1Char('0'));
    return s;
}
} // namespace

QString MBusProvider::APPRetrieveRawDataDec() const
{
    return decimalBytes(telegram_.bytes.data(), telegram_.size);
}

QString MBusProvider::APPRetrieveCookedDataDec() const
{
    if (!decoded_ || telegram_.size < telegram_.payloadOffset + 2)
        return {};
    return decimalBytes(telegram_.bytes.data() + telegram_.payloadOffset,
                        telegram_.size - 2u - telegram_.payloadOffset);
}

int MBusProvider::APPDataRecordNumber() const
{
    return decoded_ ? static_cast<int>(telegram_.records.size()) : 0;
}

QString MBusProvider::APPDeviceIDDec() const
{
    return decoded_ && telegram_.hasId ? IdentificationText(telegram_.idRaw) : QString();
}

QString MBusProvider::APPManufacturerIDAsc() const
{
    return decoded_ && telegram_.hasId && !telegram_.fixedStructure ? ManufacturerText(telegram_.manufacturer)
                                                                     : QString();
}

QString MBusProvider::APPMediumAsc() const
{
    return decoded_ && telegram_.hasId ? MediumText(telegram_.medium, language()) : QString();
}

QString MBusProvider::APPLongToHexAsc(qint64 number)
{
    return QString::number(static_cast<quint64>(number), 16).toUpper();
}

const DataRecord* MBusProvider::record(int record) const
{
    if (!decoded_ || record < 1 || record > static_cast<int>(telegram_.records.size()))
        return nullptr;
    return &telegram_.records[static_cast<std::size_t>(record - 1)];
}

QString MBusProvider::APPValueDec(int n) const
{
    const DataRecord* r = record(n);
    return r ? ValueDecText(telegram_, *r) : QString();
}

QString MBusProvider::APPValueHex(int n) const
{
    const DataRecord* r = record(n);
    return r ? ValueHexText(telegram_, *r) : QString();
}

QString MBusProvider::APPValueDat(int n) const
{
    const DataRecord* r = record(n);
    return r ? DateText(*r) : QString();
}

QString MBusProvider::APPValueDT(int n) const
{
    const DataRecord* r = record(n);
    return r ? DateTimeText(*r) : QString();
}

int MBusProvider::APPUnitNo(int n) const
{
    const DataRecord* r = record(n);
    return r ? r->subunit : 0;
}

int MBusProvider::APPTariffNo(int n) const
{
    const DataRecord* r = record(n);
    return r ? static_cast<int>(r->tariff) : 0;
}

qint64 MBusProvider::APPStorageNo(int n) const
{
    const DataRecord* r = record(n);
    return r ? static_cast<qint64>(r->storage) : 0;
}

QString MBusProvider::APPVIBAsc(int n) const
{
    const DataRecord* r = record(n);
    return r ? MeasurementText(telegram_, *r, language()) : QString();
}

QString MBusProvider::APPVIBUnitAsc(int n) const
{
    const DataRecord* r = record(n);
    return r ? UnitText(telegram_, *r) : QString();
}

int MBusProvider::APPFunctionField(int n) const
{
    const DataRecord* r = record(n);
    return r ? r->function() : 0;
}

QString MBusProvider::APPFunctionFieldAsc(int n) const
{
    const DataRecord* r = record(n);
    return r ? FunctionText(r->function(), language()) : QString();
}

int MBusProvider::APPDataField(int n) const
{
    const DataRecord* r = record(n);
    return r ? r->dataField() : 0;
}

QString MBusProvider::APPDataFieldAsc(int n) const
{
    const DataRecord* r = record(n);
    return r ? DataFieldText(r->dif, language()) : QString();
}

} // namespace kelvaro::mbus

#pragma once
#include "mbus/recordtext.h"
#include "mbus/telegram.h"

#include <QByteArray>
#include <QString>

namespace kelvaro::mbus {

// The station's own M-Bus provider: the members of the outside provider
// component that read out a telegram. It holds the last telegram it decoded;
// the port half (APPInitCom, APPREQUD2, APPSelect, APPReceiveTest ...) feeds
// received frames in through interpretFrame() and lives beside this part.
class MBusProvider {
public:
    // 1 German (default, as the station sets it), 0 English.
    int LNGLanguage = 1;

    // Decodes a telegram given as hex text (two digits per byte; blanks and ";"
    // between bytes are accepted). 0 when decoded; otherwise the error number
    // (DecodeError), the last-error text set and no records held.
    int APPInterpretTelegramHex(const QString& hex);
    // The same for a received frame (68 ... 16).
    int interpretFrame(const QByteArray& frame);
    void clearTelegram();

    const Telegram& telegram() const { return telegram_; }
    bool hasTelegram() const { return decoded_; }
    // The telegram ended with DIF 1F: another REQ_UD2 (toggled FCB) fetches the rest.
    bool moreRecordsFollow() const { return decoded_ && telegram_.moreRecordsFollow; }
    DecodeError lastError() const { return telegram_.error; }
    QString lastErrorText() const { return lastErrorText_; }

    // Telegram as text: two hex digits / three decimal digits per byte.
    QString APPRetrieveRawDataHex() const;
    QString APPRetrieveRawDataDec() const;
    // The user data after the header, three decimal digits per byte.
    QString APPRetrieveCookedDataDec() const;

    int APPDataRecordNumber() const;
    int APPAField() const { return telegram_.a; }
    int APPCField() const { return telegram_.c; }
    int APPCIField() const { return telegram_.ci; }
    qint64 APPDeviceID() const { return telegram_.idRaw; }
    QString APPDeviceIDDec() const;
    int APPManufacturerID() const { return telegram_.manufacturer; }
    QString APPManufacturerIDAsc() const;
    int APPGenerationNo() const { return telegram_.version; }
    int APPMedium() const { return telegram_.medium; }
    QString APPMediumAsc() const;
    static QString APPLongToHexAsc(qint64 number);
    int APPTransmissionCount() const { return telegram_.accessNumber; }
    int APPTelegramStatus() const { return telegram_.status; }
    int APPSignature() const { return telegram_.signature; }

    // Per record, numbered from 1. A number outside 1..APPDataRecordNumber
    // gives empty texts and 0.
    QString APPValueDec(int record) const;
    QString APPValueHex(int record) const;
    QString APPValueDat(int record) const;
    QString APPValueDT(int record) const;
    int APPUnitNo(int record) const;  // subunit
    int APPTariffNo(int record) const;
    qint64 APPStorageNo(int record) const;
    QString APPVIBAsc(int record) const;
    QString APPVIBUnitAsc(int record) const;
    int APPFunctionField(int record) const;
    QString APPFunctionFieldAsc(int record) const;
    int APPDataField(int record) const;
    QString APPDataFieldAsc(int record) const;

    // The record itself, nullptr outside the range.
    const DataRecord* record(int record) const;

private:
    Language language() const { return LNGLanguage == 0 ? Language::English : Language::German; }

    Telegram telegram_;
    bool decoded_ = false;
    QString lastErrorText_;
};

} // namespace kelvaro::mbus

#pragma once
#include "mscons/msconssettings.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

namespace kelvaro::mscons {

// One day-end reading of a register: the stored element's time (local wall
// clock in Unix seconds, as RB6 files keep it) and its value.
struct DayReading {
    QDate day;
    qint64 time = 0;
    double value = 0.0;
};

struct MsconsRegister {
    QString obisCode;
    QList<DayReading> readings;
};

// A metering or market location with the registers of its meter.
struct MsconsLocation {
    QString location;
    QList<MsconsRegister> registers;
};

// What one interchange to one receiver carries.
struct MsconsDocument {
    QString receiver;
    QString reference;  // interchange, message and document number
    QDateTime created;  // UTC
    QList<MsconsLocation> locations;
};

// A value as stored: the shortest decimal text that reads back as the same
// double, without exponent, with the given decimal mark.
QString ValueText(double value, QChar decimalMark);
// A local wall-clock time of the installation as "CCYYMMDDHHMM" in UTC.
QString UtcTimeText(qint64 localSeconds, const QTimeZone& zone);

// The interchange in ISO 8859-1 (UNOC): UNA, UNB, one message UNH to UNT,
// UNZ. Every value must fit UNOC (FitsUnoc); empty bytes otherwise.
QByteArray BuildMsconsInterchange(const MsconsSettings& settings, const MsconsDocument& document);

} // namespace kelvaro::mscons

#pragma once
#include "foundation/gridmodel.h"

#include <QObject>
#include <memory>

namespace kelvaro::mbus {
class BusPort;
class NativeProvider;
struct TimeoutSettings;
} // namespace kelvaro::mbus

namespace kelvaro::master {

class LogView;
class MeterTableModel;
struct MeterRecord;
struct StationSettings;

enum class ManualReadResult {
    Read,
    NoProvider,      // the chosen provider kind gives none
    PortNotOpen,     // "Fehler open Com"
    NoAcknowledge,   // no answer to the SND_NKE
    SelectionFailed, // the secondary selection found no single meter
    NoAnswer,        // no valid answer to REQ_UD2 ("Antwort False")
};

// The meter readings an operator starts by hand, and the index list view
// (MSFlexGrid2) they fill. Nothing read here is stored, except the index
// list on request. The caller makes sure the line is not in use.
class ManualReading : public QObject {
    Q_OBJECT
public:
    ManualReading(MeterTableModel& meters, LogView& log, mbus::BusPort& comm1, QObject* parent = nullptr);
    ~ManualReading() override;

    // The row event: meter `number` read by its primary address with the
    // selected provider; its values shown in the index list view.
    ManualReadResult readIntoIndexList(int number, const StationSettings& settings, int port);
    // cmd_V2_MBLesenSecundaer: the meter read as the cycle reads it.
    bool readLikeTheCycle(int number, const StationSettings& settings);
    // The meter's current values in the index list view.
    void showValues(int number);
    // cmdSpeichernIndexliste: the meter's index list rebuilt from its values.
    bool saveIndexList(int number, int port);
    // Closing: a running exchange loses its line.
    void abort();

    GridModel indexGrid;

signals:
    void message(const QString& text);

private:
    ManualReadResult MB_ReadPrimAdr(int address, MeterRecord& meter, const mbus::TimeoutSettings& timeouts, int port);
    ManualReadResult MB_ReadPrimAdrRac(int address, MeterRecord& meter, const mbus::TimeoutSettings& timeouts,
                                       int port);

    MeterTableModel& meters_;
    LogView& log_;
    mbus::BusPort& comm1_;
    std::unique_ptr<mbus::NativeProvider> provider_; // while a reading runs
};

} // namespace kelvaro::master

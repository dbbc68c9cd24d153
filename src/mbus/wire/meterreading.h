#pragma once
#include "mbus/meterrecord.h"
#include "mbus/valuetable.h"
#include "mbus/wire/providerselect.h"

#include <QStringList>

namespace kelvaro::mbus {

class BusPort;
class NativeProvider;

// The eight-character selection mask of an address: short ones are filled
// with "f" on the left, longer ones keep their last eight characters.
QString SecondaryMask(const QString& address);

// How a secondary exchange asks for data after the selection.
enum class SecondaryRequest {
    // A reading: the link of the selected meter is reset (SND_NKE to 253,
    // which also drops the selection on many meters), the meter is selected
    // again and the first REQ_UD2 carries FCB 1, so the answer is the meter's
    // first telegram and a fresh one, whatever an earlier reading left behind.
    Reading,
    // A search probe: one REQ_UD2 right after the selection; only the header counts.
    Probe,
};

enum class SecondaryOutcome { Read, NobodyAnswered, SeveralOrGarbled, NoResponse };

// Selects a meter by secondary address and requests its data at 253.
SecondaryOutcome ReadBySecondaryAddress(NativeProvider& provider, const QString& address,
                                        SecondaryRequest request = SecondaryRequest::Reading);
// The same with the classic numbers: 0 read, -1 nobody answered the
// selection, 1 several/garbled, -3 no RSP_UD.
int MB_ReadSekAdrRac(NativeProvider& provider, const QString& address,
                     SecondaryRequest request = SecondaryRequest::Reading);

// A meter's "MB_ID" selects it only when it is a whole secondary address:
// exactly eight decimal digits (blanks around them aside). Anything else,
// empty, shorter, longer, with "f" wildcards or letters, would select
// whichever meters match the mask.
bool IsSecondaryAddress(const QString& id);
// Primary addresses a meter can be read at: 0 to 250 (251 to 255 are test,
// reserved, selected and broadcast addresses).
bool IsReadablePrimaryAddress(int address);

// How the master reaches a meter.
enum class MeterAddressing {
    StoredFrame, // MB_SelectSec: the stored selection frame on the serial port
    Secondary,   // provider selection by the eight digits of MB_ID
    Primary,     // MB_ID is no secondary address: SND_NKE and REQ_UD2 at PrimAdr
    None,        // neither a secondary nor a readable primary address: not read
};
MeterAddressing AddressingOf(const MeterBusFields& meter);

// Whether a reply identified as `replyId` (eight digits; empty when the
// telegram carries no identification) may be stored for a meter configured
// with `configuredId`. An empty configuration accepts every reply; otherwise
// the configured text is compared digit by digit from the right, an "f"
// standing for any digit (so "ffff1234" and "1234" accept 00001234). A text
// that is no such pattern accepts no identified reply.
bool IdentificationMatches(const QString& configuredId, const QString& replyId);

enum class MeterReadOutcome {
    TakenOver,
    NoFrameOnDirectPath,
    ExchangeFailed,
    TakeOverFailed,
    PortNotOpened,   // the line could not be opened: nothing was sent
    NotAddressable,  // MeterAddressing::None: nothing was sent
    OtherMeter,      // the reply's identification is not the meter's: nothing taken over
    LineLost,        // the line went away during the exchange (BusPort::isLineLost)
};

// Reads one meter of the master as AddressingOf tells: the stored selection
// frame on the serial port with the reply decoded by the provider, or the
// provider's selection by secondary address, or a primary reading. A reply
// whose identification does not match MB_ID leaves the value table as it was.
// An exchange that failed leaves the provider's port closed. `readingTime`
// receives the Unix seconds of the reading.
MeterReadOutcome ReadMeter(BusPort& serial, NativeProvider& provider, MeterBusFields& meter,
                           qint64* readingTime = nullptr);
// The numbers of the master's log lines: 0 taken over, -1 no frame on the
// direct path, -2 exchange failed, -3 take-over failed, -4 port not opened,
// -5 no address to read the meter by, -6 another meter answered, -7 the line
// went away.
int MeterReadCode(MeterReadOutcome outcome);
int MB_ZaehlerLesen(BusPort& serial, NativeProvider& provider, MeterBusFields& meter, qint64* readingTime = nullptr);

// The header fields the test bench shows after a primary reading.
struct ReadingHeader {
    QString manufacturer;  // three letters
    QString manufacturerNo;
    QString version;
    QString idRaw;
    QString idDec;
    QString medium;
};

// Result of a test-bench reading by primary address.
struct PrimaryReading {
    QString message;        // a message box text ("Fehler Open Com 3"), if any
    ReadingHeader header;
    TelegramDisplay display; // grid rows numbered on across telegrams, raw text of the last telegram
    int telegrams = 0;
    int lastReceiveError = 0;
    QList<qint64> replyMs;  // time from request to reply per telegram
};

// M_Bus_AuslesenRac: SND_NKE, then REQ_UD2 until the meter has no further
// telegram. The loop ends after a failed request and after 16 telegrams.
PrimaryReading M_Bus_AuslesenRac(NativeProvider& provider, int address, int port, const QString& baudText,
                                 const TimeoutSettings& timeouts);
// Dispatch on the provider kind: 0 and 1 read, 2 does nothing.
PrimaryReading M_Bus_Auslesen(int kind, NativeProvider* provider, int address, int port, const QString& baudText,
                              const TimeoutSettings& timeouts);

inline constexpr int kMaxContinuationTelegrams = 16;

} // namespace kelvaro::mbus

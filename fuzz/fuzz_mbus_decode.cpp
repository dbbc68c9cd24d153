// Feeds arbitrary bytes to the frame parser, the frame receiver and the
// telegram decoder, and builds every text a caller can ask for.
#include "mbus/frame.h"
#include "mbus/hexlist.h"
#include "mbus/provider.h"
#include "mbus/valuetable.h"

#include <QByteArray>

using namespace kelvaro::mbus;

namespace {

void readEverything(MBusProvider& provider, const QByteArray& frame)
{
    for (int language = 0; language < 2; ++language) {
        provider.LNGLanguage = language;
        if (provider.interpretFrame(frame) != 0)
            continue;
        const int n = provider.APPDataRecordNumber();
        for (int r = 0; r <= n + 1; ++r) {
            (void)provider.APPValueDec(r);
            (void)provider.APPValueHex(r);
            (void)provider.APPValueDat(r);
            (void)provider.APPValueDT(r);
            (void)provider.APPVIBAsc(r);
            (void)provider.APPVIBUnitAsc(r);
            (void)provider.APPFunctionFieldAsc(r);
            (void)provider.APPDataFieldAsc(r);
            if (const DataRecord* rec = provider.record(r))
                (void)DisplayValueText(provider.telegram(), *rec, language ? Language::German : Language::English);
        }
        (void)provider.APPDeviceIDDec();
        (void)provider.APPManufacturerIDAsc();
        (void)provider.APPMediumAsc();
        (void)provider.APPRetrieveCookedDataDec();
        MeterValues values;
        MB_WerteUebernehmen(provider, values, 1000);
        (void)MB_TelegrammAnzeigen(provider);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    (void)ScanFrame(bytes);

    // The receiver, fed in two pieces as a port would deliver them.
    FrameReceiver receiver;
    receiver.append(bytes.first(size / 2));
    receiver.append(bytes.subspan(size / 2));
    QByteArray frame;
    int frames = 0;
    while (receiver.next(frame, true) == FrameReceiver::Result::Frame && ++frames < 300) {
    }

    MBusProvider provider;
    const QByteArray raw(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    readEverything(provider, raw);

    // The same bytes as the user data of a valid long frame, so that the
    // record decoder sees them without a checksum to guess: first byte CI.
    if (size >= 1) {
        const std::size_t n = size - 1 > 252 ? 252 : size - 1;
        readEverything(provider, BuildLongFrame(0x08, 0x01, data[0], bytes.subspan(1, n)));
    }

    (void)kelvaro::HexListeToStr(QString::fromLatin1(raw), QString());
    QByteArray parsed;
    (void)kelvaro::ParseHexBytes(QString::fromLatin1(raw), parsed);
    return 0;
}

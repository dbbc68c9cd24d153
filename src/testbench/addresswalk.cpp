#include "testbench/addresswalk.h"

#include "mbus/wire/nativeprovider.h"
#include "mbus/wire/providerselect.h"
#include "testbench/primarysearch.h"

#include <algorithm>

namespace kelvaro::testbench {

QString OpenLineForRun(mbus::NativeProvider& provider, int port, int baud, const mbus::TimeoutSettings& timeouts)
{
    mbus::ApplyTimeoutSettings(provider, timeouts);
    provider.APPInitCom(port, baud);
    if (provider.APPIsComOpen())
        return {};
    provider.APPCloseCom();
    return QStringLiteral("Fehler Open Com ") + QString::number(port);
}

AddressWalkEnd WalkAddresses(mbus::NativeProvider& provider, int from, int to, const AddressWalkSteps& steps)
{
    AddressWalkEnd end;
    const int repeats = provider.requestRepeats;
    provider.requestRepeats = 0;
    for (int a = std::max(from, 0); a <= std::min(to, PrimarySearch::kAddresses - 1); ++a) {
        if (steps.stopRequested && steps.stopRequested()) {
            end.stoppedAt = a;
            break;
        }
        if (steps.asking)
            steps.asking(a);
        provider.APPREQUD2(a);
        if (provider.port().isLineLost()) {
            end.lineLostAt = a;
            break;
        }
        if (!steps.answered(a, provider.APPReceiveTest() == 3)) {
            end.stoppedAt = a;
            break;
        }
    }
    provider.requestRepeats = repeats;
    return end;
}

} // namespace kelvaro::testbench

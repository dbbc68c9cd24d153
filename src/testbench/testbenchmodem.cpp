// The modem frame: dial out, search the remote bus, hang up. Every modem wait
// of the provider has its own upper bound; "Auflegen" during a dial or a
// search breaks it and hangs up as soon as it has returned.
#include "foundation/messages.h"
#include "mbus/wire/nativeprovider.h"
#include "testbench/addresswalk.h"
#include "testbench/busaction.h"
#include "testbench/testbench.h"

namespace kelvaro::testbench {

void TestBench::cmdWaehlen()
{
    BusAction action(*this);
    if (!action)
        return;
    const int port = portField();
    const int baud = baudField();
    modemPort_ = port;
    modemBaud_ = baud;
    modemProvider_ = newProvider();
    modemProvider_->modemGuardMs = modemGuardMs;
    action.use(modemProvider_.get());
    hangUpPending_ = false;
    const QString notOpen = OpenLineForRun(*modemProvider_, port, baud, readTimeouts());
    if (!notOpen.isEmpty()) {
        ShowMessageBox(notOpen);
        modemProvider_.reset();
        return;
    }
    modemStatus = QStringLiteral("Init ") + modemInit;
    emit changed();
    dialing_ = true;
    modemProvider_->TELInit(port, baud, modemInit);
    if (!hangUpPending_) {
        modemStatus = modemDial;
        emit changed();
        modemProvider_->TELMakeCall(port, baud, modemDial);
    }
    dialing_ = false;
    if (hangUpPending_) {
        hangUpNow();
        return;
    }
    modemStatus = QStringLiteral("fertig ") + QString::number(modemProvider_->TELStatus());
    emit changed();
    ShowMessageBox(modemStatus);
}

void TestBench::cmdModemSuchen()
{
    if (telStatus() != 4)
        return;
    BusAction action(*this);
    if (!action)
        return;
    action.use(modemProvider_.get());
    emit waitCursor(true);
    resetFoundGrid(0);
    runSecondarySearch(*modemProvider_, {baudField()}, false);
    modemStatus = secondary_.lineLostAt.isEmpty()
        ? QStringLiteral("Fertig")
        : LineLostText(*modemProvider_, QStringLiteral("Maske ") + secondary_.lineLostAt);
    emit waitCursor(false);
    if (hangUpPending_)
        hangUpNow();
}

void TestBench::cmdAuflegen()
{
    if (!modemProvider_)
        return;
    if (busy_) {
        // A dial or search on the modem line ends at its next wait and hangs up then.
        if (running_ == modemProvider_.get()) {
            hangUpPending_ = true;
            secondary_.stop = true;
            modemProvider_->APPBreak();
            // A modem wait lasts until its answer or its deadline; closing the
            // line ends it now (and drops DTR, which hangs a dialling modem up).
            if (dialing_)
                modemProvider_->APPCloseCom();
        }
        return;
    }
    BusAction action(*this);
    if (action) {
        action.use(modemProvider_.get());
        hangUpNow();
    }
}

void TestBench::hangUpNow()
{
    hangUpPending_ = false;
    if (!modemProvider_)
        return;
    modemProvider_->APPBreak();
    if (!modemProvider_->APPIsComOpen())
        modemProvider_->APPInitCom(modemPort_, modemBaud_);
    modemProvider_->TELHangUp();
    modemStatus = QStringLiteral("aufgelegt ") + QString::number(modemProvider_->TELStatus());
    modemProvider_->APPCloseCom();
    running_ = nullptr;
    modemProvider_.reset();
    emit waitCursor(false);
    emit changed();
}

} // namespace kelvaro::testbench

#pragma once
#include <QIODevice>

namespace kelvaro::mbus {

// Waits that keep the event loop running (windows stay usable) and wake on the
// device's signal or their deadline; none of them polls.

// True when bytes are available; returns at once if some are already there.
bool WaitForBytes(QIODevice* device, int timeoutMs);
// True when everything written has left the device's buffer.
bool WaitForWritten(QIODevice* device, int timeoutMs);
// Lets the given time pass with the event loop running.
void PauseWithEvents(int ms);
// Ends the waits on `device` that are running now (a break of the exchange):
// they return as if their time had passed. Pauses are not ended.
void InterruptWaits(const QIODevice* device);

} // namespace kelvaro::mbus

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

} // namespace kelvaro::mbus

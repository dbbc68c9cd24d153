#pragma once

namespace kelvaro {

// Routes the core's message boxes to real dialogs when the program has a
// screen; on the offscreen platform the headless route stays in place.
void InstallWidgetMessageHandler();

bool IsHeadless();

} // namespace kelvaro

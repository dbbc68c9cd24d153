#pragma once

namespace kelvaro {

// Set once a termination signal has arrived: from then on no message box is
// shown and every question takes its default answer, so the close handling
// runs through without anybody at the screen.
bool TerminationRequested();
void SetTerminationRequested();

} // namespace kelvaro

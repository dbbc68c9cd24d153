// Compiled with the core's include settings; must not build.
#include <QtWidgets/QWidget>
int probe() { return 0; }

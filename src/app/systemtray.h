#pragma once

// Whether the desktop offers a system tray. Without one, a window hidden to
// the tray could never be brought back, so it goes to the task bar instead.
bool trayDisponible();

// For tests only: answer `disponible` instead of asking the desktop, until
// retablirTrayDisponible() is called.
void forcerTrayDisponible(bool disponible);
void retablirTrayDisponible();

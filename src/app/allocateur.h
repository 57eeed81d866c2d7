#pragma once

// Keeps the memory freed between two files for the next one instead of
// handing it back to the system. Call it first thing in main.
void reglerAllocateur();

// Hands back to the system what the allocator kept during a run: the window
// may then wait in the tray for hours.
void rendreMemoireLibre();

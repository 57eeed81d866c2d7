#pragma once

// Keeps the memory freed between two files for the next one instead of
// handing it back to the system. Call it first thing in main.
void reglerAllocateur();

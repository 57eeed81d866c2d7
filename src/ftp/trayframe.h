#pragma once

// The tray image shown once the file at `position` (from 0) of `total` is sent:
// frame 0 covers the first twelfth of the list, frame 11 the last.
inline int imageTrayApresEnvoi(int position, int total)
{
    return total > 0 ? (position * 12) / total : 0;
}

// The main window's first outer size, from the screen's available area: room for both
// panes with whole drive captions and card names on a 1920x1080 screen, never less
// than the classic 720x480, never more than the screen offers.
#pragma once

struct WindowSize {
    int width;
    int height;
};

constexpr WindowSize SMALLEST_START_SIZE{720, 480};

WindowSize first_window_size(int available_width, int available_height);

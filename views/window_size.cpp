#include "views/window_size.h"

#include <algorithm>

WindowSize first_window_size(int available_width, int available_height) {
    // Three fifths of the width and seven tenths of the height: 1152x735 on a
    // 1920x1050 work area, with room left beside the window for the file manager
    // that files are dragged from.
    const int width = std::max(SMALLEST_START_SIZE.width, available_width * 3 / 5);
    const int height = std::max(SMALLEST_START_SIZE.height, available_height * 7 / 10);
    return {std::min(width, std::max(available_width, 1)), std::min(height, std::max(available_height, 1))};
}

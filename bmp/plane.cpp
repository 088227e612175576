#include "bmp/plane.h"

std::int32_t image_width = 0;
std::int32_t image_height = 0;

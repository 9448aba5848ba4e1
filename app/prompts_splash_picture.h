// The splash window's picture, built into the program.
#pragma once

extern const unsigned char splash_picture_png[];
extern const unsigned splash_picture_png_size;

#pragma once

/** The built-in warning sign: a 56 x 55 RGBA PNG, generated into WarningImage.cpp from
    images/warning.png by tools/images/make_warning_png.py.
*/
extern const unsigned char warningImageData[];
extern const int warningImageSize;

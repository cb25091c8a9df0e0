#pragma once

// The one switch between the two display variants of the program.
#ifdef KORVANTA_DPI200
constexpr bool kDpi200Build = true;
#else
constexpr bool kDpi200Build = false;
#endif

// Window slopes of the inverse MDCT (tools/codec/make_transform_tables.py window):
// entry n holds w(n) in the upper and w(L - 1 - n) in the lower half-word, Q15.
#ifndef REZ_WINDOW_TABLES_H
#define REZ_WINDOW_TABLES_H

#include <stdint.h>

#define REZ_SINE_SLOPE(n) extern const uint32_t RezTools_SineSlope##n[(n + 1) / 2];
REZ_SINE_SLOPE(4)
REZ_SINE_SLOPE(8)
REZ_SINE_SLOPE(16)
REZ_SINE_SLOPE(32)
REZ_SINE_SLOPE(64)
REZ_SINE_SLOPE(128)
REZ_SINE_SLOPE(256)
REZ_SINE_SLOPE(512)
REZ_SINE_SLOPE(1024)
REZ_SINE_SLOPE(15)
REZ_SINE_SLOPE(30)
REZ_SINE_SLOPE(60)
REZ_SINE_SLOPE(120)
REZ_SINE_SLOPE(240)
REZ_SINE_SLOPE(960)
REZ_SINE_SLOPE(12)
REZ_SINE_SLOPE(24)
REZ_SINE_SLOPE(48)
REZ_SINE_SLOPE(96)
REZ_SINE_SLOPE(192)
REZ_SINE_SLOPE(384)
REZ_SINE_SLOPE(768)
#undef REZ_SINE_SLOPE

// Kaiser-Bessel-derived slopes: alpha 6 up to length 256, alpha 4 from 768 on.
#define REZ_KBD_SLOPE(n) extern const uint32_t RezTools_KbdSlope##n[n / 2];
REZ_KBD_SLOPE(96)
REZ_KBD_SLOPE(120)
REZ_KBD_SLOPE(128)
REZ_KBD_SLOPE(256)
REZ_KBD_SLOPE(768)
REZ_KBD_SLOPE(960)
REZ_KBD_SLOPE(1024)
#undef REZ_KBD_SLOPE

#endif

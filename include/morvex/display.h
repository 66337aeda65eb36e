/* morvex/display.h */
#ifndef MORVEX_DISPLAY_H
#define MORVEX_DISPLAY_H

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif

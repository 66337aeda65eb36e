/* morvex/pattern.h */
#ifndef MORVEX_PATTERN_H
#define MORVEX_PATTERN_H

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif

/* detect_internal.h - capacities shared by the detection files. */
#ifndef MORVEX_DETECT_INTERNAL_H
#define MORVEX_DETECT_INTERNAL_H

enum {
    MV_LABEL_MAX = 32768,          /* provisional labels per frame */
    MV_LABEL_IMAGE_MAX = 320000,   /* entries of the label image */
    MV_SQUARE_MAX = 30,            /* candidates, markers, history entries */
};

#endif

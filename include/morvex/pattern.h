/* morvex/pattern.h - the pattern store (50 slots), sampling a marker's
   interior, normalised-correlation matching and writing pattern files.

   Usage:
       int patt = mvLoadPatt("patt.lumo");          slot 0..49, or -1
       ... mvDetectMarker fills id/direction/confidence through mvGetCode ...
       mvSavePatt(frame, &markers[k], "new.lumo");   teach a marker in view

   A pattern file holds 3072 decimal integers: four rotation blocks, each of
   three planes (blue, green, red) of 16 x 16 cells, rows from the top,
   columns from the left; 0 is dark, 255 bright. Saved files print each value
   as "%4d", 16 to a line, with an empty line after each block.

   The store is process-wide, lives until exit and is not thread-safe. */
#ifndef MORVEX_PATTERN_H
#define MORVEX_PATTERN_H

#include "morvex/detect.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Matching mode: 0 (the default) correlates all 768 colour values, any other
   value correlates the 256 grey cell values. Read at every match. */
extern int mvTemplateMatchingMode;

/* Loads the pattern file `filename` (read, not kept) into the lowest free
   slot. Returns the slot number 0..49, or -1 when all 50 slots are in use
   (MV_ERROR_CAPACITY, nothing printed), the file cannot be opened
   (MV_ERROR_NOT_FOUND, "\"<name>\" not found!!" on standard output) or
   holds fewer than 3072 integers (MV_ERROR_FORMAT, "Pattern Data read
   error!!"; the slot stays free). A loaded slot takes part in matching. */
int mvLoadPatt(const char *filename);

/* Slot operations. Each returns 1 on success, -1 when slot `id` is free or
   outside 0..49. mvFreePatt releases the slot for the next load;
   mvDeactivatePatt keeps it loaded but out of matching; mvActivatePatt
   readmits it. */
int mvFreePatt(int id);
int mvActivatePatt(int id);
int mvDeactivatePatt(int id);

/* Samples a square candidate's interior into `sample` (caller's 768 bytes:
   16 x 16 cells x 3 channels, entry (row * 16 + column) * 3 + channel,
   channel 0 blue, 1 green, 2 red, each cell 0..240). `image` is a frame of
   mvImXsize x mvImYsize pixels, 4 bytes each (R, G, B, unused); contourX /
   contourY are the candidate's outline in observed frame pixels and
   cornerIndices[0..3] the outline indices of its four corners; rows run from
   corner 0 towards corner 3, columns from corner 0 towards corner 1. Nothing
   is kept. Returns 0, or -1 when a sample position maps to infinity (the
   sample then holds only what was gathered before that position). */
int mvGetPatt(const unsigned char *image, const int *contourX,
              const int *contourY, const int *cornerIndices,
              unsigned char sample[768]);

/* Identifies a square candidate (arguments as for mvGetPatt) against the
   active patterns. Always returns 0 and always writes the three outputs:
   *id the best slot, *direction the best rotation block 0..3, *confidence
   the normalised correlation (at most 1.0). No positive correlation, no
   pattern loaded, or a sample position at infinity: id -1, direction -1,
   confidence 0.0. An interior without contrast: id 0, direction 0,
   confidence -1.0. Ties go to the lowest slot, then the lowest block. */
int mvGetCode(const unsigned char *image, const int *contourX,
              const int *contourY, const int *cornerIndices, int *id,
              int *direction, double *confidence);

/* Writes a pattern file for `marker`, which must come from the most recent
   mvDetectMarker, sampled from `image`, the frame that detection saw (call
   before the next detection). Block b is sampled with the candidate's corner
   (b + 2) mod 4 first, so the same marker seen the same way up later matches
   block 2 (direction 2). Returns 0, or -1 when no candidate of the most
   recent detection has the marker's area and centre (for example a marker
   re-added from the history), when a sample position maps to infinity
   (nothing is written), or when the file cannot be written. The file is
   written under a temporary name beside it and renamed into place when
   complete: on failure an older file of that name is left as it was. */
int mvSavePatt(const unsigned char *image, const MvMarkerInfo *marker,
               const char *filename);

#ifdef __cplusplus
}
#endif

#endif

/* The image plug-in interface (Susie plug-ins): what a shared object named
   "*.spi" exports so that the player can show the pictures it decodes.
   A plain C header: plug-ins may be written in C or C++. */
#ifndef QORVE_SUSIE_PLUGIN_ABI_H
#define QORVE_SUSIE_PLUGIN_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Return codes of GetPicture. */
enum {
  SUSIE_SUCCESS = 0,
  SUSIE_NOT_IMPLEMENTED = -1,
  SUSIE_CANCELLED = 1,     /* the progress callback asked to stop */
  SUSIE_UNKNOWN_FORMAT = 2,
  SUSIE_BROKEN_DATA = 3,
  SUSIE_NO_MEMORY = 4,
  SUSIE_MEMORY_ERROR = 5,
  SUSIE_READ_ERROR = 6,
  SUSIE_INTERNAL_ERROR = 8
};

/* Size of the file head handed to IsSupported. */
#define SUSIE_HEAD_SIZE 2048

/* Input flags of GetPicture (the low three bits). */
#define SUSIE_INPUT_FILE 0   /* buf is a file name, len the offset of the picture in it */
#define SUSIE_INPUT_MEMORY 1 /* buf points at the picture's bytes, len is their count */

/* Called now and then while decoding: num of denom done. Non-zero stops. */
typedef int (*SusieProgressCallback)(int num, int denom, intptr_t data);

/* Does the plug-in read this picture? `filename` is the full path; `dw` is the
   address of a SUSIE_HEAD_SIZE-byte buffer holding the file's first bytes
   (zero-filled past the end of a short file). Non-zero: yes. */
typedef int (*SusieIsSupported)(const char* filename, uintptr_t dw);

/* Decodes the picture. On success returns SUSIE_SUCCESS and sets *pHBInfo to a
   malloc'ed BITMAPINFO (a 40-byte BITMAPINFOHEADER, then bit masks or the
   colour table as the header says) and *pHBm to malloc'ed pixel lines
   (bottom-up unless the height is negative, each line padded to 4 bytes);
   the caller frees both with free(). On failure sets neither. */
typedef int (*SusieGetPicture)(const char* buf, intptr_t len, unsigned int flag, void** pHBInfo, void** pHBm,
                               SusieProgressCallback progress, intptr_t lData);

#ifdef __cplusplus
}
#endif

#endif

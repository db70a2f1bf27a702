// The WebP reader of the media dates, over any bytes as a whole file.

#include "media_support.h"

MEDIA_FUZZ_TARGET(ReadWebPDate)

// The readers of a build made without their decoding libraries (a WebAssembly build whose
// libraries are not yet built): every such file is refused as a picture the program cannot show.
#include "picture/heif_reader.h"
#include "picture/messages.h"
#include "picture/png_reader.h"
#include "picture/webp_reader.h"
#include "toolkit/errors.h"

#ifndef RFL_HAVE_SPNG
TPngHeader ReadPngHeader(TStream&) { throw EInvalidGraphic(SPictureNotSupported); }
TBitmap ReadPngPicture(TStream&) { throw EInvalidGraphic(SPictureNotSupported); }
#endif
#ifndef RFL_HAVE_WEBP
TWebPHeader ReadWebPHeader(TStream&) { throw EInvalidGraphic(SPictureNotSupported); }
TBitmap ReadWebPPicture(TStream&) { throw EInvalidGraphic(SPictureNotSupported); }
#endif
#ifndef RFL_HAVE_HEIF
THeifHeader ReadHeifHeader(TStream&) { throw EInvalidGraphic(SPictureNotSupported); }
TBitmap ReadHeifPicture(TStream&) { throw EInvalidGraphic(SPictureNotSupported); }
#endif

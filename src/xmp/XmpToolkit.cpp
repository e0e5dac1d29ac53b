// The one translation unit that instantiates the toolkit's client glue.
#include "xmp/XmpToolkit.h"

#include "XMP.incl_cpp"

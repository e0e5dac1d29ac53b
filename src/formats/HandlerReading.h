// What reading a document through its format's handler, or one of the
// filter's own container readers, came to: the outcome, the format, a failed
// read of the source, and where the XMP was found when not in the format's
// standard place.
#pragma once

#include "common/Win32.h"
#include "toolkit/XmpToolkit.h"

namespace velmora {

struct HandlerReading {
    enum class Outcome {
        Xmp,         // the format's XMP, with native metadata reconciled into it
        NativeOnly,  // no XMP, but native metadata the toolkit turned into XMP
        NoHandler,   // no handler for this format
        Refused,     // the handler did not take the document
        Nothing,     // the handler found no metadata at all
        Failed,      // the handler failed on the document
        // The container was read and holds metadata, but none that belongs
        // to the document itself (only a second image's, say): nothing to use,
        // and nothing for the packet search, which would find the others'.
        NoneOfItsOwn,
    };
    Outcome outcome = Outcome::NoHandler;
    XMP_FileFormat format = kXMP_UnknownFile;
    // The code of a read of the source that failed, or S_OK: such a document
    // could not be read at all, by the handler or otherwise.
    HRESULT readFailure = S_OK;
    // Where the XMP was found, when not in the format's standard place
    // ("a zTXt chunk", "a brob box"), for the log.
    const wchar_t* place = nullptr;
};

}  // namespace velmora

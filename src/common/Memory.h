// Memory that ran out where no caller is told. The XMP Toolkit passes over
// some failures inside its file handlers (a packet that does not parse, a tag
// it cannot read), and an allocation failing in there would pass for bad
// input and shorten a document silently. The module's operator new notes
// every failed allocation for its thread here; a load takes the note.
#pragma once

namespace velmora {

void NoteAllocationFailure() noexcept;
// Whether an allocation failed on this thread since the last call.
bool TakeAllocationFailure() noexcept;

}  // namespace velmora

// The descriptive text of a document for the full-text index: every text leaf
// of the model in a namespace of the one table in DescriptiveText.cpp (titles,
// captions, keywords, people, places, rights, camera and lens names...), each
// distinct text once, beside the values of the mapped properties. Identifiers,
// digests, history, settings and texts that are only numbers stay out.
// The walk is linear in the model's size, and the full text of one document
// is capped at kMaxFullTextCharacters.
#pragma once

#include "xmp/XmpPacket.h"
#include "toolkit/XmpToolkit.h"

#include <cstddef>

namespace velmora {

// The most characters the text chunks of one document carry: the mapped
// values as read, then the descriptive texts as far as they fit.
constexpr size_t kMaxFullTextCharacters = 512 * 1024;

// The descriptive texts of meta that `existing` does not hold yet, in the
// model's order, each with the xml:lang of its item. What the cap leaves out
// is logged once per call. Throws std::bad_alloc.
XmpPacket::TextList CollectDescriptiveText(const SXMPMeta& meta, const XmpPacket::TextList& existing);

// Gives each namespace of the table its usual prefix, where the toolkit has
// none for it yet, so that definition paths through those namespaces
// (mwg-rs:Regions/..., MP:RegionInfo/MPRI:Regions[*]/MPReg:...) resolve
// whatever prefix a document declares. Called before any document is parsed.
void RegisterDescriptivePrefixes();

}  // namespace velmora

// HEIF containers through libheif's reader callbacks over a byte source, and
// the primary image's XMP and Exif items through the toolkit's JPEG handler.
#include "formats/HeifMetadata.h"

#include "formats/FormatHandler.h"

#include "common/Win32.h"
#include "diag/Debugger.h"
#include "toolkit/SourceIO.h"
#include "formats/ExifImport.h"
#include "packet/PacketReader.h"

#include <libheif/heif.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

namespace {

using Outcome = HandlerReading::Outcome;

// The reading position and the budget of one container read. libheif seeks
// over the coded image data and reads boxes and metadata items, all through
// the one buffered block of a SourceIO.
struct ContainerReader {
    explicit ContainerReader(ByteSource& source) : io(source) {}

    SourceIO io;
    uint64_t taken = 0;  // bytes handed to libheif so far
    bool overBudget = false;
    bool outOfMemory = false;
};

ContainerReader& From(void* userdata) { return *static_cast<ContainerReader*>(userdata); }

// The callbacks never throw: libheif is told of a failure by its return
// code, and the reason is kept for when it returns.
int64_t GetPosition(void* userdata) {
    try {
        return From(userdata).io.Seek(0, kXMP_SeekFromCurrent);
    } catch (...) {
        return -1;
    }
}

int Read(void* data, size_t size, void* userdata) {
    ContainerReader& reader = From(userdata);
    if (size > SourceIO::kMaxRead - reader.taken) {
        reader.overBudget = true;
        return 1;
    }
    try {
        reader.io.Read(data, static_cast<XMP_Uns32>(size), true);
    } catch (const XMP_Error& error) {
        reader.outOfMemory = IsOutOfMemory(error);
        return 1;
    } catch (const std::bad_alloc&) {
        reader.outOfMemory = true;
        return 1;
    }
    reader.taken += size;
    return 0;
}

int Seek(int64_t position, void* userdata) {
    try {
        From(userdata).io.Seek(position, kXMP_SeekFromStart);
        return 0;
    } catch (...) {
        return 1;
    }
}

heif_reader_grow_status WaitForFileSize(int64_t target, void* userdata) {
    return target >= 0 && static_cast<uint64_t>(target) <= static_cast<uint64_t>(From(userdata).io.Length())
               ? heif_reader_grow_status_size_reached
               : heif_reader_grow_status_size_beyond_eof;
}

constexpr heif_reader kReaderCallbacks = {1, GetPosition, Read, Seek, WaitForFileSize};

struct ContextFree {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleRelease {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;

constexpr std::string_view kXmpContentType = "application/rdf+xml";

// The primary image's first XMP item and first Exif item, as stored.
struct PrimaryMetadata {
    std::string xmp;
    std::string exif;
    bool any = false;  // the primary image has a metadata item of any kind
};

std::string ItemData(const heif_image_handle* handle, heif_item_id id) {
    std::string data(heif_image_handle_get_metadata_size(handle, id), '\0');
    if (data.empty() || heif_image_handle_get_metadata(handle, id, data.data()).code != heif_error_Ok) return {};
    return data;
}

std::vector<heif_item_id> MetadataItems(const heif_image_handle* handle) {
    const int count = heif_image_handle_get_number_of_metadata_blocks(handle, nullptr);
    std::vector<heif_item_id> ids(static_cast<size_t>(std::max(count, 0)));
    if (!ids.empty()) {
        ids.resize(static_cast<size_t>(
            heif_image_handle_get_list_of_metadata_block_IDs(handle, nullptr, ids.data(), count)));
    }
    return ids;
}

PrimaryMetadata ReadPrimary(const heif_image_handle* primary) {
    PrimaryMetadata found;
    for (const heif_item_id id : MetadataItems(primary)) {
        found.any = true;
        const char* const type = heif_image_handle_get_metadata_type(primary, id);
        const char* const content = heif_image_handle_get_metadata_content_type(primary, id);
        if (!type) continue;
        if (type == std::string_view("mime") && content && content == kXmpContentType && found.xmp.empty()) {
            found.xmp = ItemData(primary, id);
        } else if (type == std::string_view("Exif") && found.exif.empty()) {
            found.exif = ItemData(primary, id);
        }
    }
    return found;
}

bool HasMetadata(const heif_image_handle* handle) {
    return heif_image_handle_get_number_of_metadata_blocks(handle, nullptr) > 0;
}

// Whether any image the container lists besides the primary one (other
// top-level images and every image's thumbnails, auxiliary images and depth
// maps) has a metadata item.
bool OthersHaveMetadata(heif_context* context) {
    const auto listed = [](int count, auto list) {
        std::vector<heif_item_id> ids(static_cast<size_t>(std::max(count, 0)));
        if (!ids.empty()) ids.resize(static_cast<size_t>(list(ids.data(), count)));
        return ids;
    };
    const auto anyOf = [](const std::vector<heif_item_id>& ids, auto open) {
        for (const heif_item_id id : ids) {
            heif_image_handle* raw = nullptr;
            if (open(id, &raw).code != heif_error_Ok) continue;
            const Handle handle(raw);
            if (HasMetadata(handle.get())) return true;
        }
        return false;
    };
    const std::vector<heif_item_id> images =
        listed(heif_context_get_number_of_top_level_images(context),
               [&](heif_item_id* ids, int count) { return heif_context_get_list_of_top_level_image_IDs(context, ids, count); });
    heif_item_id primaryId = 0;
    heif_context_get_primary_image_ID(context, &primaryId);
    for (const heif_item_id imageId : images) {
        heif_image_handle* raw = nullptr;
        if (heif_context_get_image_handle(context, imageId, &raw).code != heif_error_Ok) continue;
        const Handle image(raw);
        if (imageId != primaryId && HasMetadata(image.get())) return true;
        const heif_image_handle* const h = image.get();
        const std::vector<heif_item_id> thumbnails =
            listed(heif_image_handle_get_number_of_thumbnails(h),
                   [&](heif_item_id* ids, int count) { return heif_image_handle_get_list_of_thumbnail_IDs(h, ids, count); });
        const std::vector<heif_item_id> auxiliaries =
            listed(heif_image_handle_get_number_of_auxiliary_images(h, 0), [&](heif_item_id* ids, int count) {
                return heif_image_handle_get_list_of_auxiliary_image_IDs(h, 0, ids, count);
            });
        const std::vector<heif_item_id> depths =
            listed(heif_image_handle_get_number_of_depth_images(h),
                   [&](heif_item_id* ids, int count) { return heif_image_handle_get_list_of_depth_image_IDs(h, ids, count); });
        if (anyOf(thumbnails, [&](heif_item_id id, heif_image_handle** out) { return heif_image_handle_get_thumbnail(h, id, out); }) ||
            anyOf(auxiliaries, [&](heif_item_id id, heif_image_handle** out) { return heif_image_handle_get_auxiliary_image_handle(h, id, out); }) ||
            anyOf(depths, [&](heif_item_id id, heif_image_handle** out) { return heif_image_handle_get_depth_image_handle(h, id, out); })) {
            return true;
        }
    }
    return false;
}

HandlerReading ReadMetadata(const PrimaryMetadata& primary, bool importNativeMetadata, SXMPMeta& meta) {
    std::string_view tiff = TiffOfExifBlock(primary.exif);
    if (!primary.exif.empty() && tiff.empty()) {
        debugger.Log(3, L"INFO: the primary image's Exif item holds no TIFF header, passed over \n");
    }
    if (tiff.size() > kMaxSegmentTiff) {
        debugger.Log(3, L"INFO: the primary image's Exif item is too large to reconcile, passed over \n");
        tiff = {};
    }
    if (primary.xmp.size() <= kMaxSegmentXmp) {
        HandlerReading reading;
        reading.outcome = ReconcileAsJpeg(primary.xmp, tiff, importNativeMetadata, meta);
        return reading;
    }
    // No JPEG segment holds an XMP item this large: it is parsed as it
    // stands, through the same guard, without the Exif.
    debugger.Log(3, L"INFO: the primary image's XMP item is too large to reconcile with its Exif \n");
    HandlerReading reading;
    reading.outcome = PacketReader::ParseWholePacket(primary.xmp, meta) ? Outcome::Xmp : Outcome::Nothing;
    return reading;
}

}  // namespace

HandlerReading ReadHeifContainer(ByteSource& source, bool importNativeMetadata, SXMPMeta& meta) {
    HandlerReading reading;
    reading.format = kXMP_HEIFFile;
    reading.outcome = Outcome::Failed;
    ContainerReader reader(source);
    PrimaryMetadata primary;
    bool others = false;
    {
        const Context context(heif_context_alloc());
        if (!context) throw std::bad_alloc();
        // No pixel is ever decoded here: an image of any declared size keeps
        // its metadata readable (libheif refuses more than 32768 wide).
        heif_context_set_maximum_image_size_limit(context.get(), std::numeric_limits<int>::max());
        const heif_error read = heif_context_read_from_reader(context.get(), &kReaderCallbacks, &reader, nullptr);
        if (reader.outOfMemory) throw std::bad_alloc();
        if (FAILED(reader.io.ReadFailure())) {
            reading.readFailure = reader.io.ReadFailure();
            return reading;
        }
        if (reader.overBudget) {
            debugger.Log(3, L"INFO: the HEIF container's metadata is larger than any real one, passed over \n");
        }
        if (read.code != heif_error_Ok) {
            debugger.LogFormat(3, L"INFO: the HEIF container cannot be read: %s \n", Utf8ToWide(read.message).c_str());
            return reading;
        }
        heif_image_handle* raw = nullptr;
        if (heif_context_get_primary_image_handle(context.get(), &raw).code != heif_error_Ok) return reading;
        const Handle handle(raw);
        primary = ReadPrimary(handle.get());
        if (!primary.any) others = OthersHaveMetadata(context.get());
    }
    if (primary.xmp.empty() && primary.exif.empty()) {
        reading.outcome = primary.any || others ? Outcome::NoneOfItsOwn : Outcome::Nothing;
        return reading;
    }
    reading = ReadMetadata(primary, importNativeMetadata, meta);
    reading.format = kXMP_HEIFFile;
    if (reading.outcome != Outcome::Xmp && reading.outcome != Outcome::NativeOnly) {
        reading.outcome = Outcome::NoneOfItsOwn;
    }
    return reading;
}

}  // namespace velmora

// The file types the filter serves: extension, MIME type, group and who
// registers the type, one row each in FileTypes.inc. Every registration step
// of the DLL walks the core rows (kFileTypes); only the SharePoint steps look
// at the group, because TIFF files are registered there on their own. The
// further rows are the packages' to register.
#pragma once

#include <cstddef>

namespace velmora {

enum FileTypeGroup : int { kGeneralFileTypes = 0, kTiffFileTypes = 1 };

// Who writes a type's persistent handler: the DLL's own registration, or the
// packages' further-types feature.
enum class FileTypeRegistrar { Core, Further };

struct FileType {
    const wchar_t* extension;  // with its leading dot
    const wchar_t* mimeType;
    int group;
    FileTypeRegistrar registrar;
};

// Every type the filter reads, the core rows first.
inline constexpr FileType kKnownFileTypes[] = {
#define VELMORA_FILE_TYPE(extension, mimeType, group, registrar) \
    {L"" extension, L"" mimeType, k##group##FileTypes, FileTypeRegistrar::registrar},
#include "registration/FileTypes.inc"
#undef VELMORA_FILE_TYPE
};
inline constexpr size_t kKnownFileTypeCount = sizeof(kKnownFileTypes) / sizeof(kKnownFileTypes[0]);

namespace detail {
constexpr size_t CountCoreFileTypes() {
    size_t count = 0;
    while (count < kKnownFileTypeCount && kKnownFileTypes[count].registrar == FileTypeRegistrar::Core) ++count;
    return count;
}
constexpr bool FurtherRowsFollowCoreRows(size_t coreCount) {
    for (size_t i = coreCount; i < kKnownFileTypeCount; ++i) {
        if (kKnownFileTypes[i].registrar != FileTypeRegistrar::Further) return false;
    }
    return true;
}
}  // namespace detail

// The rows DllRegisterServer and DllUnregisterServer walk, with their count.
inline constexpr const FileType* kFileTypes = kKnownFileTypes;
inline constexpr size_t kFileTypeCount = detail::CountCoreFileTypes();
static_assert(kFileTypeCount == 11, "the DLL itself registers eleven file types");
static_assert(detail::FurtherRowsFollowCoreRows(kFileTypeCount), "the core rows come first in FileTypes.inc");

// The rows the packages register besides.
inline constexpr const FileType* kFurtherFileTypes = kKnownFileTypes + kFileTypeCount;
inline constexpr size_t kFurtherFileTypeCount = kKnownFileTypeCount - kFileTypeCount;

}  // namespace velmora

// The file types the filter serves: extension, MIME type and group. Every
// registration step walks this one table; only the SharePoint steps look at
// the group, because TIFF files are registered there on their own.
#pragma once

#include <cstddef>

namespace velmora {

enum FileTypeGroup : int { kGeneralFileTypes = 0, kTiffFileTypes = 1 };

struct FileType {
    const wchar_t* extension;  // with its leading dot
    const wchar_t* mimeType;
    int group;
};

inline constexpr FileType kFileTypes[] = {
    {L".ai", L"application/postscript", kGeneralFileTypes},
    {L".jpg", L"image/jpeg", kGeneralFileTypes},
    {L".jpeg", L"image/jpeg", kGeneralFileTypes},
    {L".tif", L"image/tiff", kTiffFileTypes},
    {L".tiff", L"image/tiff", kTiffFileTypes},
    {L".ps", L"application/postscript", kGeneralFileTypes},
    {L".eps", L"application/postscript", kGeneralFileTypes},
    {L".gif", L"image/gif", kGeneralFileTypes},
    {L".png", L"image/png", kGeneralFileTypes},
    {L".psd", L"application/x-photoshop", kGeneralFileTypes},
    {L".svg", L"image/svg+xml", kGeneralFileTypes},
};
inline constexpr size_t kFileTypeCount = sizeof(kFileTypes) / sizeof(kFileTypes[0]);
static_assert(kFileTypeCount == 11, "the filter serves eleven file types");

}  // namespace velmora

// XmpPacket: reading one document, choosing its XMP packet with the toolkit's
// packet scanner, parsing it, and the typed value queries over the model.
// Also the small helpers it needs: whole-file reading, XMP dates as FILETIME
// and the decimal-text-to-integer conversion.
//
// Memory per document is bounded: the file is scanned in fixed-size blocks,
// then only the chosen packet is read back (or, when the scanner sees a
// single snip, the whole file is fed to the parser block by block).
#include "xmp/XmpPacket.h"

#include "common/Win32.h"
#include "diag/Debugger.h"
#include "xmp/PacketSearch.h"
#include "xmp/XmlDepthGuard.h"
#include "xmp/XmlEntityGuard.h"

#include "XMPScanner.hpp"

#include <algorithm>
#include <limits>
#include <locale>
#include <new>
#include <sstream>
#include <stdexcept>

namespace velmora {

namespace {

constexpr DWORD kCopyBlockSize = 4096;

// Without a client callback the toolkit treats malformed XML as recoverable
// and returns an empty (or half-built) model, so a binary file or a broken
// packet would look like a packet without properties. Refusing recovery for
// XML errors makes such input fail to parse; the RDF-level repairs the
// toolkit makes on well-formed packets are still accepted.
bool RefuseMalformedXml(void* /*context*/, XMP_ErrorSeverity /*severity*/, XMP_Int32 cause,
                        XMP_StringPtr /*message*/) {
    return cause != kXMPErr_BadXML;
}

void SetParseErrorPolicy(SXMPMeta& meta) {
    meta.SetErrorCallback(RefuseMalformedXml, nullptr, 0);  // limit 0: every error is reported
}

// Refuses XML nested deeper than the toolkit's recursion can take; the text
// is checked before the parser sees it.
bool PassesDepthGuard(XmlDepthGuard& guard, const char* bytes, size_t length) {
    if (guard.Feed(bytes, length)) return true;
    debugger.Log(1, L"ERROR: XMP packet is nested too deeply to parse \n");
    return false;
}

// Refuses a document type that declares entities; the text is checked before
// the parser sees it, so nothing is ever expanded or fetched.
bool PassesEntityGuard(XmlEntityGuard& guard, const char* bytes, size_t length) {
    if (guard.Feed(bytes, length)) return true;
    debugger.Log(1, L"ERROR: XMP packet declares XML entities and is refused \n");
    return false;
}

// One document file, read through one fixed block: a sequential pass for the
// scanner, then positioned reads of the stretch to parse.
class DocumentFile {
public:
    // The codes of BinaryCopy: E_INVALIDARG for no path, E_HANDLE when the
    // file cannot be opened, E_OUTOFMEMORY without memory for the block,
    // E_FAIL when not one byte can be read.
    HRESULT Open(const wchar_t* path) {
        if (!path) return E_INVALIDARG;
        file.Reset(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return E_HANDLE;
        LARGE_INTEGER fileSize{};
        if (!GetFileSizeEx(file.Get(), &fileSize)) fileSize.QuadPart = 0;
        size = static_cast<uint64_t>(fileSize.QuadPart);
        // A small file needs no more than its own size.
        blockSize = static_cast<DWORD>(std::max<uint64_t>(1, std::min<uint64_t>(XmpPacket::kReadBlockSize, size)));
        block.reset(new (std::nothrow) char[blockSize]);
        if (!block) return E_OUTOFMEMORY;
        if (ReadBlock(0) == 0) return E_FAIL;
        return S_OK;
    }

    // The length the file had when it was opened; reads never go past it.
    uint64_t Size() const { return size; }
    const char* Block() const { return block.get(); }

    // Reads up to one block at offset into Block(); 0 at the end or on a
    // read failure.
    DWORD ReadBlock(uint64_t offset) {
        if (offset >= size) return 0;
        const DWORD wanted = static_cast<DWORD>(std::min<uint64_t>(blockSize, size - offset));
        return ReadAt(offset, block.get(), wanted);
    }

    // Reads exactly length bytes at offset into bytes.
    bool ReadStretch(uint64_t offset, uint64_t length, std::string& bytes) {
        if (offset > size || length > size - offset || length > bytes.max_size()) return false;
        bytes.resize(static_cast<size_t>(length));
        uint64_t done = 0;
        while (done < length) {
            const DWORD wanted = static_cast<DWORD>(std::min<uint64_t>(1u << 20, length - done));
            const DWORD got = ReadAt(offset + done, &bytes[static_cast<size_t>(done)], wanted);
            if (got == 0) return false;
            done += got;
        }
        return true;
    }

private:
    DWORD ReadAt(uint64_t offset, char* target, DWORD wanted) {
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(offset);
        position.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!ReadFile(file.Get(), target, wanted, &got, &position)) return 0;
        return got;
    }

    UniqueFileHandle file;
    std::unique_ptr<char[]> block;
    DWORD blockSize = 0;
    uint64_t size = 0;
};

// Feeds the first `length` bytes of the file to the parser block by block and
// finishes with an empty last call: the same model as one call over them all.
HRESULT ParseInBlocks(SXMPMeta* meta, DocumentFile& file, uint64_t length) {
    try {
        SetParseErrorPolicy(*meta);
        XmlDepthGuard guard;
        XmlEntityGuard entities;
        for (uint64_t offset = 0; offset < length;) {
            const DWORD got = file.ReadBlock(offset);
            if (got == 0) return E_FAIL;
            if (!PassesDepthGuard(guard, file.Block(), got)) return E_FAIL;
            if (!PassesEntityGuard(entities, file.Block(), got)) return E_FAIL;
            meta->ParseFromBuffer(file.Block(), got, kXMP_ParseMoreBuffers);
            offset += got;
        }
        meta->ParseFromBuffer("", 0, 0);
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

// Scans the file block by block, then parses the last packet the scanner
// marks valid, or the whole file when it sees a single snip. Throws for
// scanner errors and allocation failures.
HRESULT ScanAndParse(SXMPMeta* meta, DocumentFile& file) {
    PacketSearch scanner(static_cast<XMP_Int64>(file.Size()));
    uint64_t scanned = 0;
    for (DWORD got; (got = file.ReadBlock(scanned)) != 0; scanned += got) {
        scanner.Scan(file.Block(), static_cast<XMP_Int64>(scanned), got);
    }

    XMPScanner::SnipInfoVector snips;
    scanner.Report(snips);
    // A read that stopped early leaves the rest of the file unseen; what was
    // read is judged on its own.
    while (!snips.empty() && snips.back().fState == XMPScanner::eNotSeenSnip) snips.pop_back();

    if (snips.size() == 1) {
        // No packet at all, or the whole file is one packet: the parser gets
        // everything (an SVG with a bare rdf:RDF parses; binary data fails).
        return ParseInBlocks(meta, file, scanned);
    }

    for (auto snip = snips.rbegin(); snip != snips.rend(); ++snip) {
        if (snip->fState != XMPScanner::eValidPacketSnip) continue;
        const uint64_t offset = static_cast<uint64_t>(snip->fOffset);
        const uint64_t length = static_cast<uint64_t>(snip->fLength);
        if (length > std::numeric_limits<uint32_t>::max()) return E_FAIL;  // beyond one parser call
        std::string packet;
        if (!file.ReadStretch(offset, length, packet)) return E_FAIL;
        return XmpPacket::ParsePacket(meta, packet, 0, static_cast<uint32_t>(length));
    }
    // Several snips and none of them a valid packet: the model stays empty.
    return S_OK;
}

}  // namespace

HRESULT BinaryCopy(const wchar_t* path, std::string& buffer) {
    if (!path) return E_INVALIDARG;

    UniqueFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return E_HANDLE;

    buffer.clear();
    try {
        buffer.reserve(GetFileSize(file.Get(), nullptr));
    } catch (...) {
        return E_OUTOFMEMORY;
    }

    char block[kCopyBlockSize];
    DWORD bytesRead = 0;
    while (ReadFile(file.Get(), block, kCopyBlockSize, &bytesRead, nullptr) && bytesRead != 0) {
        try {
            buffer.append(block, bytesRead);
        } catch (...) {
            break;  // out of memory: keep what was read so far
        }
    }
    return buffer.empty() ? E_FAIL : S_OK;
}

XmpPacket::XmpPacket(const wchar_t* path, bool joinArrayItems) {
    if (path) Load(path, joinArrayItems);
}

XmpPacket::~XmpPacket() = default;

HRESULT XmpPacket::Load(const wchar_t* path, bool joinArrayItems) {
    meta.reset();
    texts.clear();
    loaded = false;
    this->joinArrayItems = joinArrayItems;

    DocumentFile file;
    const HRESULT opened = file.Open(path);
    if (FAILED(opened)) {
        debugger.LogFormat(3, L"ERROR:  BinaryCopy failure error code = 0x%08x", static_cast<int32_t>(opened));
        return opened;
    }
    loaded = true;

    HRESULT hr = E_FAIL;
    try {
        meta = std::make_unique<SXMPMeta>();
        hr = ScanAndParse(meta.get(), file);
    } catch (...) {
        hr = E_FAIL;
    }
    if (FAILED(hr)) meta.reset();
    return hr;
}

HRESULT XmpPacket::ParsePacket(SXMPMeta* meta, const std::string& buffer, uint32_t offset, uint32_t length) {
    if (!meta) return E_FAIL;
    // The stretch comes from the scanner, but never read outside the buffer.
    if (offset > buffer.size() || length > buffer.size() - offset) return E_FAIL;
    XmlDepthGuard guard;
    if (!PassesDepthGuard(guard, buffer.data() + offset, length)) return E_FAIL;
    XmlEntityGuard entities;
    if (!PassesEntityGuard(entities, buffer.data() + offset, length)) return E_FAIL;
    try {
        SetParseErrorPolicy(*meta);
        meta->ParseFromBuffer(buffer.data() + offset, length, 0);
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

int32_t XmpPacket::GetItemValue(const std::string& schemaNS, const std::string& propPath, VARTYPE type,
                                int32_t index, PropertyValue& value) {
    if (!meta) return -1;
    try {
        std::string text;
        XMP_OptionBits options = 0;
        if (!meta->GetProperty(schemaNS.c_str(), propPath.c_str(), &text, &options)) return -1;

        if (options & kXMP_PropCompositeMask) {
            if (!(options & kXMP_PropValueIsArray)) return -1;  // a struct has no value of its own
            if (index < 1 || index > meta->CountArrayItems(schemaNS.c_str(), propPath.c_str())) return -1;
            if (!meta->GetArrayItem(schemaNS.c_str(), propPath.c_str(), index, &text, nullptr)) return -1;
        } else if (index != 1) {
            return -1;
        }

        // Every value read goes to the text list, even one whose typed
        // conversion fails below.
        std::wstring wide = Utf8ToWide(text);
        texts.push_back(wide);

        switch (type) {
        case VT_INT: {
            const int32_t number = StringUtils::ConvertToInt(text);
            value.number = number;
            value.kind = PropertyValue::Integer;
            break;
        }
        case VT_FILETIME: {
            XMP_DateTime dateTime{};
            SXMPUtils::ConvertToDate(text, &dateTime);
            SXMPUtils::ConvertToUTCTime(&dateTime);
            // A time without a date (year 0) or a date that FILETIME cannot
            // hold (before 1601) gives no value rather than a stale slot.
            FILETIME time{};
            if (dateTime.year == 0 || !DateTimeToFileTime(dateTime, time)) return -1;
            value.time = time;
            value.kind = PropertyValue::Date;
            break;
        }
        default:
            value.text = std::move(wide);
            value.kind = PropertyValue::Text;
            break;
        }
        return index + 1;
    } catch (...) {
        return -1;
    }
}

int32_t XmpPacket::GetValue(const std::string& schemaNS, const std::string& propPath, VARTYPE type, int32_t index,
                            PropertyValue& value) {
    int32_t next = GetItemValue(schemaNS, propPath, type, index, value);
    if (next == -1 || !joinArrayItems || type != VT_LPWSTR) return next;

    // Join mode: all remaining items as one value, each followed by a space.
    try {
        std::wstring joined;
        int32_t lastGood = next;
        while (next != -1) {
            lastGood = next;
            joined += value.text;
            joined += L' ';
            next = GetItemValue(schemaNS, propPath, VT_LPWSTR, next, value);
        }
        value.text = std::move(joined);
        return lastGood;
    } catch (...) {
        return -1;
    }
}

bool DateTimeToFileTime(const XMP_DateTime& dateTime, FILETIME& fileTime) {
    SYSTEMTIME systemTime{};
    systemTime.wYear = static_cast<WORD>(dateTime.year);
    systemTime.wMonth = static_cast<WORD>(dateTime.month);
    systemTime.wDayOfWeek = 0;
    systemTime.wDay = static_cast<WORD>(dateTime.day);
    systemTime.wHour = static_cast<WORD>(dateTime.hour);
    systemTime.wMinute = static_cast<WORD>(dateTime.minute);
    systemTime.wSecond = static_cast<WORD>(dateTime.second);
    systemTime.wMilliseconds = 0;
    return SystemTimeToFileTime(&systemTime, &fileTime) != FALSE;
}

namespace StringUtils {

int32_t ConvertToInt(const std::string& text) {
    std::istringstream stream(text);
    stream.imbue(std::locale::classic());
    int number = 0;
    if (!(stream >> number)) throw std::runtime_error("StringUtils::ConvertToInt(\"" + text + "\")");
    return static_cast<int32_t>(number);
}

}  // namespace StringUtils

}  // namespace velmora

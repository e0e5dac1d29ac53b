// XmpPacket: loading one document through the packet reader, and the typed
// value queries over its model. Also the small helpers the queries need:
// XMP dates as FILETIME and the decimal-text-to-integer conversion.
#include "xmp/XmpPacket.h"

#include "common/Win32.h"
#include "diag/Debugger.h"
#include "xmp/PacketReader.h"

#include <locale>
#include <sstream>
#include <stdexcept>

namespace velmora {

XmpPacket::XmpPacket(const wchar_t* path, bool joinArrayItems) {
    if (path) Load(path, joinArrayItems);
}

XmpPacket::~XmpPacket() = default;

HRESULT XmpPacket::Load(const wchar_t* path, bool joinArrayItems) {
    FileSource file;
    HRESULT hr = file.Open(path);
    if (SUCCEEDED(hr)) {
        hr = Load(file, joinArrayItems);
    } else {
        Forget(joinArrayItems);
    }
    if (!loaded) {
        debugger.LogFormat(3, L"ERROR:  BinaryCopy failure error code = 0x%08x", static_cast<int32_t>(hr));
    }
    return hr;
}

void XmpPacket::Forget(bool joinArrayItems) {
    meta.reset();
    texts.clear();
    last.valid = false;
    loaded = false;
    this->joinArrayItems = joinArrayItems;
}

HRESULT XmpPacket::Load(ByteSource& source, bool joinArrayItems) {
    Forget(joinArrayItems);

    PacketReader reader(source);
    HRESULT hr = reader.Open();
    if (SUCCEEDED(hr)) {
        loaded = true;
        try {
            meta = std::make_unique<SXMPMeta>();
            hr = reader.ReadInto(*meta);
        } catch (...) {
            hr = E_FAIL;
        }
        // A document that could not be read to its end is not judged by the
        // part that was read: it is not loaded at all.
        if (FAILED(reader.ReadFailure())) {
            hr = reader.ReadFailure();
            loaded = false;
        }
        if (FAILED(hr)) meta.reset();
    }
    return hr;
}

ValueResult XmpPacket::GetItemValue(const std::string& schemaNS, const std::string& propPath, VARTYPE type,
                                    int32_t index, PropertyValue& value) {
    if (!meta) return ValueResult::End();
    std::string text;
    try {
        XMP_OptionBits options = 0;
        if (index > 1 && last.valid && last.propPath == propPath && last.schemaNS == schemaNS) {
            options = last.options;
        } else {
            last.valid = false;
            if (!meta->GetProperty(schemaNS.c_str(), propPath.c_str(), &text, &options)) return ValueResult::End();
            last.schemaNS.assign(schemaNS);
            last.propPath.assign(propPath);
            last.options = options;
            last.valid = true;
        }

        if (options & kXMP_PropCompositeMask) {
            // A struct has no value of its own.
            if (!(options & kXMP_PropValueIsArray)) return ValueResult::End();
            // An index past the last item finds no item.
            if (index < 1 || !meta->GetArrayItem(schemaNS.c_str(), propPath.c_str(), index, &text, nullptr)) {
                return ValueResult::End();
            }
        } else if (index != 1) {
            return ValueResult::End();
        }

        // Every value read goes to the text list, even one whose typed
        // conversion fails below.
        texts.push_back(Utf8ToWide(text));
    } catch (...) {
        return ValueResult::End();
    }

    // From here on a failure is this item's alone: the next one may convert.
    const ValueResult next = ValueResult::Found(index + 1);
    const ValueResult skipped = ValueResult::Skipped(index + 1);
    try {
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
            if (dateTime.year == 0 || !DateTimeToFileTime(dateTime, time)) return skipped;
            value.time = time;
            value.kind = PropertyValue::Date;
            break;
        }
        default:
            value.text = texts.back();
            value.kind = PropertyValue::Text;
            break;
        }
        return next;
    } catch (...) {
        return skipped;
    }
}

ValueResult XmpPacket::GetValue(const std::string& schemaNS, const std::string& propPath, VARTYPE type,
                                int32_t index, PropertyValue& value) {
    ValueResult result = GetItemValue(schemaNS, propPath, type, index, value);
    if (!result.HasValue() || !joinArrayItems || type != VT_LPWSTR) return result;

    // Join mode: all remaining items as one value, each followed by a space.
    try {
        std::wstring joined;
        int32_t after = result.next;
        while (!result.IsEnd()) {
            after = result.next;
            if (result.HasValue()) {
                joined += value.text;
                joined += L' ';
            }
            result = GetItemValue(schemaNS, propPath, VT_LPWSTR, result.next, value);
        }
        value.text = std::move(joined);
        value.kind = PropertyValue::Text;
        return ValueResult::Found(after);
    } catch (...) {
        return ValueResult::End();
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

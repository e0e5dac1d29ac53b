// The fixture of the tests that read metadata where each format keeps it:
// the value chunks a host receives from a document, loaded each way a host
// loads one, and documents built in memory.
#pragma once

#include "DllFixture.h"

#include "ChunkRecorder.h"
#include "TestStream.h"

#include "common/ComPtr.h"

#include <propsys.h>

#include <algorithm>

namespace velmora::fuzz::test {

using Lines = std::vector<std::wstring>;
using velmora::test::TestDataPath;

inline std::wstring Camera(const wchar_t* name) { return TestDataPath(std::wstring(L"camera\\") + name); }
inline std::wstring Heif(const wchar_t* name) { return TestDataPath(std::wstring(L"heif\\") + name); }

// The described value chunks (without their chunk ids) a host receives.
inline Lines Values(IFilter* filter) {
    ULONG flags = 0;
    if (filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags) != S_OK) return {L"Init failed"};
    Lines values;
    for (const std::wstring& line : velmora::test::Describe(velmora::test::DrainFilter(filter))) {
        const size_t space = line.find(L' ');
        if (line.compare(space, 3, L" V ") == 0) values.push_back(line.substr(space + 3));
    }
    return values;
}

inline bool Has(const Lines& lines, const std::wstring& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); }

// A JPEG holding one XMP segment (APP1) with the packet.
inline std::string JpegWithXmp(const std::string& packet) {
    const std::string header = std::string("http://ns.adobe.com/xap/1.0/") + '\0';
    const size_t length = 2 + header.size() + packet.size();
    std::string jpeg = "\xFF\xD8\xFF\xE1";
    jpeg += static_cast<char>(length >> 8);
    jpeg += static_cast<char>(length & 0xFF);
    return jpeg + header + packet + "\xFF\xD9";
}

inline std::string Packet(const std::string& body, const std::string& doctype = "") {
    return "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>" + doctype +
           "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
           "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>" +
           body + "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
}

class FormatHandlers : public DllTest {
protected:
    enum class Way { File, StreamInPlace, InitializeWithStream, StreamThatCannotSeek };

    Lines ValuesOf(const std::wstring& path, Way way = Way::File) {
        ComPtr<IFilter> filter;
        if (FAILED(dll->CreateFilter(IID_IFilter, filter.PutVoid()))) return {L"CreateInstance failed"};
        HRESULT hr = E_FAIL;
        std::string bytes;
        ReadWholeFile(path, bytes);
        switch (way) {
        case Way::File:
            hr = LoadFile(filter.Get(), path);
            break;
        case Way::StreamInPlace: {
            ComPtr<IStream> stream(velmora::test::MemoryStream(bytes));
            hr = LoadStream(filter.Get(), stream.Get());
            break;
        }
        case Way::InitializeWithStream: {
            ComPtr<IInitializeWithStream> initialize;
            ComPtr<IStream> stream(velmora::test::MemoryStream(bytes));
            hr = filter->QueryInterface(IID_IInitializeWithStream, initialize.PutVoid());
            if (SUCCEEDED(hr)) hr = initialize->Initialize(stream.Get(), STGM_READ);
            break;
        }
        case Way::StreamThatCannotSeek: {
            ComPtr<velmora::test::TestStream> stream(velmora::test::TestStream::FromBytes(bytes));
            hr = LoadStream(filter.Get(), stream.Get());
            break;
        }
        }
        if (hr != S_OK) return {L"load failed"};
        return Values(filter.Get());
    }

    Lines ValuesOfBytes(const std::string& bytes) {
        const std::wstring path = work.File(L"document.jpg");
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return ValuesOf(path);
    }

    void Switch(const wchar_t* name, DWORD value) {
        RegistrySandbox::SetDword(kKey, name, value);
        dll.reset();
        LoadDll(true, 2);
    }
};

}  // namespace velmora::fuzz::test

// The phases of one document as the filter runs them (filter/VelmoraLoad.cpp,
// filter/Velmora.cpp), each timed on its own over the filter's libraries:
// open, format detection, the format's handler (XMP alone, then with the
// native metadata reconciled into it), the whole load with the packet
// search where the handler finds nothing, the property-spec list (copied,
// as it once was, and pointed at, as it is now), the custom schemas, Init's
// selection and the value queries. The host path
// through the DLL is timed in the same pass, so that what is left (the
// chunk protocol, COM, the DLL's own copy of the toolkit) shows beside it.
#include "Phases.h"

#include "config/DocumentPropSpecs.h"
#include "config/SchemaDefinitions.h"
#include "config/VelmoraConfiguration.h"
#include "formats/DocumentFormat.h"
#include "formats/FormatHandler.h"
#include "io/ByteSource.h"
#include "xmp/XmpPacket.h"

#include <windows.h>

#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace velmora::bench {

double Now() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool OpenReadCloseFloor(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    static char block[64 * 1024];
    DWORD got = 0;
    const bool read = ReadFile(file, block, sizeof block, &got, nullptr) != FALSE;
    CloseHandle(file);
    return read;
}

namespace {

enum Phase {
    kFloor,
    kOpen,
    kDetect,
    kHandlerXmp,
    kHandlerNative,
    kLoad,
    kStandardList,
    kCustomSchemas,
    kSelection,
    kDocumentList,
    kValues,
    kPhaseCount
};

const char* const kPhaseNames[kPhaseCount] = {
    "open-read-close floor (64 KB)",
    "open and close",
    "format detection (first KB)",
    "handler, XMP alone",
    "handler, native metadata reconciled",
    "whole load (handler, packet search)",
    "list copied: standard entries",
    "list copied: custom schemas' entries",
    "list copied: Init's selection",
    "list pointed at, with its selection",
    "value queries",
};

struct Sums {
    double seconds[kPhaseCount] = {};
    double entries = 0;
    double values = 0;
};

// One pass over one document, each phase timed apart.
void Measure(const VelmoraConfiguration& configuration, const std::wstring& path, Sums& sums) {
    double t = Now();
    OpenReadCloseFloor(path);
    sums.seconds[kFloor] += Now() - t;

    try {
        XMP_FileFormat format = kXMP_UnknownFile;
        {
            FileSource source;
            if (FAILED(source.Open(path.c_str()))) return;
            const double opened = Now();
            uint8_t head[kFormatHeadSize];
            DWORD got = 0;
            source.ReadAt(0, head, static_cast<DWORD>(std::min<uint64_t>(sizeof head, source.Size())), got);
            format = FormatOfDocument(head, got);
            const double detected = Now();
            sums.seconds[kDetect] += detected - opened;
            if (format != kXMP_UnknownFile) {
                SXMPMeta xmpOnly;
                ReadWithHandler(source, format, false, xmpOnly);
                const double handled = Now();
                sums.seconds[kHandlerXmp] += handled - detected;
                SXMPMeta reconciled;
                ReadWithHandler(source, format, true, reconciled);
                sums.seconds[kHandlerNative] += Now() - handled;
            }
        }
        {
            // The open and the close on their own.
            const double start = Now();
            {
                FileSource source;
                source.Open(path.c_str());
            }
            sums.seconds[kOpen] += Now() - start;
        }

        XmpPacket packet(nullptr, configuration.multipleInstancesMode == 1);
        packet.SetReading({configuration.formatHandlers, configuration.nativeMetadata});
        t = Now();
        packet.Load(path.c_str(), configuration.multipleInstancesMode == 1);
        sums.seconds[kLoad] += Now() - t;
        if (packet.IsEmpty()) return;

        t = Now();
        PropSpecList list = configuration.standardPropSpecs;
        const double copied = Now();
        AppendCustomSchemaPropSpecs(configuration.customSchemas, packet.GetMeta(), list);
        const double appended = Now();
        std::vector<MetadataPropSpec> selection(list.begin(), list.end());
        const double selected = Now();
        // What the filter does instead of the three copies above.
        DocumentPropSpecs pointed;
        CollectDocumentPropSpecs(configuration, packet.GetMeta(), pointed);
        std::vector<const MetadataPropSpec*> pointers(pointed.entries.begin(), pointed.entries.end());
        const double collected = Now();
        PropertyValue value;
        for (const MetadataPropSpec& entry : selection) {
            for (int32_t index = 1;;) {
                const ValueResult result =
                    packet.GetValue(entry.schemaNS, entry.propPath, entry.type, index, value, entry.valueMap.get());
                if (result.IsEnd()) break;
                if (result.HasValue()) sums.values += 1;
                index = result.next;
            }
        }
        const double queried = Now();
        sums.seconds[kStandardList] += copied - t;
        sums.seconds[kCustomSchemas] += appended - copied;
        sums.seconds[kSelection] += selected - appended;
        sums.seconds[kDocumentList] += collected - selected;
        sums.seconds[kValues] += queried - collected;
        sums.entries += static_cast<double>(selection.size());
    } catch (...) {
        // A document the phases cannot follow counts with what it got to.
    }
}

}  // namespace

size_t PrintPhases(const std::vector<std::wstring>& paths, int repeat, const char* arch,
                   const std::function<void(const std::wstring&)>& hostPath) {
    StartXmpToolkit();
    const VelmoraConfiguration configuration;
    Sums sums;
    double host = 0;
    for (int pass = 0; pass < repeat; ++pass) {
        for (const std::wstring& path : paths) {
            Measure(configuration, path, sums);
            const double t = Now();
            hostPath(path);
            host += Now() - t;
        }
    }
    // What the chunk protocol calls for each chunk, by the call.
    constexpr int kCalls = 20000;
    double t = Now();
    LCID locales = 0;
    for (int i = 0; i < kCalls; ++i) locales ^= GetSystemDefaultLCID();
    const double perLocale = (Now() - t) / kCalls;
    if (locales == 0xFFFFFFFF) std::printf("\n");  // keeps the calls
    t = Now();
    for (int i = 0; i < kCalls; ++i) CoTaskMemFree(CoTaskMemAlloc(64));
    const double perTaskMemory = (Now() - t) / kCalls;
    std::printf("phases %s: per call: GetSystemDefaultLCID %.0f ns, CoTaskMemAlloc and Free %.0f ns\n", arch,
                perLocale * 1e9, perTaskMemory * 1e9);

    const double n = static_cast<double>(paths.size()) * repeat;
    const double floor = sums.seconds[kFloor] / n;
    size_t customEntries = 0;
    for (const CustomSchema& schema : configuration.customSchemas) customEntries += schema.definitions.size();
    std::printf("phases %s: %zu documents x %d passes; %zu standard entries, %zu custom schemas with %zu defined"
                " entries; %.0f entries and %.1f values per document\n",
                arch, paths.size(), repeat, configuration.standardPropSpecs.size(), configuration.customSchemas.size(),
                customEntries, sums.entries / n, sums.values / n);
    for (int phase = 0; phase < kPhaseCount; ++phase) {
        const double each = sums.seconds[phase] / n;
        std::printf("phases %s: %-38s %8.1f us  x%5.2f floor\n", arch, kPhaseNames[phase], each * 1e6, each / floor);
    }
    std::printf("phases %s: %-38s %8.1f us  x%5.2f floor\n", arch, "host path through the DLL", host / n * 1e6,
                host / n / floor);
    return paths.size();
}

}  // namespace velmora::bench

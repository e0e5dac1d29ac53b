// What a host that asks for everything receives for tests/data/standard.jpg
// (and for every other file that make-test-data.sh gives the standard set),
// one line per chunk as ChunkRecorder's Describe writes it.
#pragma once

#include <string>
#include <vector>

namespace velmora::test {

// The whole of tests/data/standard.jpg, in list order: Dublin Core rows,
// then Photoshop, then XMP basic; each summary row before its own-set row.
// The file's dc:title holds x-default "Harbour at dawn" and de "Hafen im
// Morgengrauen", each delivered as written; the German text carries the
// German locale.
inline const std::vector<std::wstring> kStandardJpegChunks = {
    L"1 V SummaryInformation/4 LPWSTR=Ana Lima",
    L"2 V SummaryInformation/4 LPWSTR=Ben Okafor",
    L"3 V DublinCore/creator LPWSTR=Ana Lima",
    L"4 V DublinCore/creator LPWSTR=Ben Okafor",
    L"5 V SummaryInformation/5 LPWSTR=harbour",
    L"6 V SummaryInformation/5 LPWSTR=boats",
    L"7 V SummaryInformation/5 LPWSTR=dawn",
    L"8 V DublinCore/subject LPWSTR=harbour",
    L"9 V DublinCore/subject LPWSTR=boats",
    L"10 V DublinCore/subject LPWSTR=dawn",
    L"11 V SummaryInformation/2 LPWSTR=Harbour at dawn",
    L"12 V SummaryInformation/2 LPWSTR=Hafen im Morgengrauen",
    L"13 V DublinCore/title LPWSTR=Harbour at dawn",
    L"14 V DublinCore/title LPWSTR=Hafen im Morgengrauen",
    L"15 V Photoshop/Urgency INT=5",
    L"16 V SummaryInformation/12 FILETIME=2024-05-04T04:20:30Z",
    L"17 V XmpBasic/CreateDate FILETIME=2024-05-04T04:20:30Z",
    L"18 T Ana Lima",
    L"19 T Ben Okafor",
    L"20 T Ana Lima",
    L"21 T Ben Okafor",
    L"22 T harbour",
    L"23 T boats",
    L"24 T dawn",
    L"25 T harbour",
    L"26 T boats",
    L"27 T dawn",
    L"28 T Harbour at dawn",
    L"29 T(0x0407) Hafen im Morgengrauen",
    L"30 T Harbour at dawn",
    L"31 T(0x0407) Hafen im Morgengrauen",
    L"32 T 5",
    L"33 T 2024-05-04T06:20:30+02:00",
    L"34 T 2024-05-04T06:20:30+02:00",
};

}  // namespace velmora::test

// A value of 50 MB goes to the host whole and exactly, as its value chunk and
// as its text chunk read in pieces of any size.
#include "EngineFixture.h"

using namespace velmora;
using namespace velmora::test;

namespace {

class EngineLongText : public EngineTest {};

TEST_F(EngineLongText, AFiftyMegabyteValueDrainsWholeAndExactly) {
    // Numbered words, so that a piece handed out twice or skipped shows.
    std::string value;
    value.reserve(50u << 20);
    char word[16];
    for (unsigned i = 0; value.size() < (50u << 20); ++i) {
        std::snprintf(word, sizeof word, "w%07u ", i);
        value += word;
    }
    const std::wstring expected(value.begin(), value.end());
    ComPtr<IFilter> filter = Loaded(Document(L"long.xmp", "<dc:source>" + value + "</dc:source>"));
    value.clear();
    value.shrink_to_fit();

    ULONG flags = 0;
    ASSERT_HR(S_OK, filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags));
    STAT_CHUNK stat{};
    ASSERT_HR(S_OK, filter->GetChunk(&stat));
    ASSERT_EQ(static_cast<DWORD>(CHUNK_VALUE), static_cast<DWORD>(stat.flags));
    PROPVARIANT* variant = nullptr;
    ASSERT_HR(S_OK, filter->GetValue(&variant));
    ASSERT_EQ(VT_LPWSTR, variant->vt);
    EXPECT_TRUE(expected == variant->pwszVal);
    PropVariantClear(variant);
    CoTaskMemFree(variant);

    ASSERT_HR(S_OK, filter->GetChunk(&stat));
    ASSERT_EQ(static_cast<DWORD>(CHUNK_TEXT), static_cast<DWORD>(stat.flags));
    // Pieces of 4093 characters, then the last one.
    std::wstring text;
    text.reserve(expected.size());
    WCHAR buffer[4093];
    HRESULT hr = S_OK;
    while (hr == S_OK) {
        ULONG size = 4093;
        hr = filter->GetText(&size, buffer);
        text.append(buffer, size);
    }
    EXPECT_HR(FILTER_S_LAST_TEXT, hr);
    EXPECT_EQ(expected.size(), text.size());
    EXPECT_TRUE(expected == text);
    ULONG size = 4093;
    EXPECT_HR(FILTER_E_NO_MORE_TEXT, filter->GetText(&size, buffer));
    EXPECT_HR(FILTER_E_END_OF_CHUNKS, filter->GetChunk(&stat));
}

}  // namespace

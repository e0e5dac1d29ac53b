// The native readers at the model: texts without a home join
// velmoraText:Comments (JPEG COM, GIF comments, PNG comments); Windows'
// UTF-16 tags with odd lengths, unpaired surrogates and no terminator; an
// IFD whose entries point outside the structure.
#include "native/ExifTags.h"
#include "formats/FormatHandler.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velmora;

namespace {

std::vector<std::string> Comments(const wchar_t* file) {
    EXPECT_TRUE(StartXmpToolkit());
    FileSource source;
    EXPECT_EQ(S_OK, source.Open(velmora::test::TestDataPath(std::wstring(L"native\\") + file).c_str()));
    SXMPMeta meta;
    ReadThroughHandler(source, true, meta);
    std::vector<std::string> items;
    std::string item;
    for (XMP_Index i = 1; meta.GetArrayItem(kVelmoraTextNS, "Comments", i, &item, nullptr); ++i) items.push_back(item);
    return items;
}

TEST(NativeText, TextsWithoutAHomeReachTheFullText) {
    struct Case {
        const wchar_t* file;
        std::vector<std::string> comments;
    };
    const Case cases[] = {
        {L"blank-description.jpg", {"A JPEG comment"}},
        {L"gif-comment.gif", {"A GIF comment"}},
        {L"png-text.png", {"A PNG comment"}},
        {L"xp-tags-xmp.jpg", {"\xD7\x9B\xD7\x95\xD7\xAA\xD7\xA8\xD7\xAA \xD7\x91\xD7\xA2\xD7\x91\xD7\xA8\xD7\x99\xD7\xAA"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(velmora::test::Narrow(c.file));
        EXPECT_EQ(c.comments, Comments(c.file));
    }
}

TEST(NativeText, Utf16TagsDecodeWhateverTheyHold) {
    struct Case {
        const char* what;
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"terminated", std::string("a\0b\0\0\0", 6), "ab"},
        {"no terminator", std::string("a\0b\0", 4), "ab"},
        {"an odd last byte", std::string("a\0b\0c", 5), "ab"},
        {"a pair", std::string("\x3D\xD8\x00\xDE", 4), "\xF0\x9F\x98\x80"},
        {"a lone high surrogate", std::string("\x3D\xD8" "a\0", 4), "\xEF\xBF\xBD" "a"},
        {"a lone low surrogate at the end", std::string("a\0\x00\xDE", 4), "a\xEF\xBF\xBD"},
        {"text after the terminator", std::string("a\0\0\0b\0", 6), "a"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(c.text, Utf16LeToUtf8(c.bytes)) << c.what;
}

TEST(NativeText, EntriesOutsideTheStructureArePassedOver) {
    // IFD0 of three entries: XPTitle inside, XPComment whose offset points
    // past the end, XPKeywords whose count overflows; then a count that
    // claims more entries than the structure holds.
    std::string tiff("II*\0\x08\0\0\0", 8);
    const auto entry = [&tiff](uint16_t tag, uint32_t count, uint32_t offset) {
        for (uint32_t v : {uint32_t(tag), uint32_t(1)}) tiff += std::string{char(v & 0xFF), char(v >> 8)};
        for (uint32_t v : {count, offset}) {
            for (int s = 0; s < 32; s += 8) tiff += char(v >> s & 0xFF);
        }
    };
    tiff += std::string("\x03\0", 2);
    entry(0x9C9B, 6, 8 + 2 + 36 + 4);
    entry(0x9C9C, 6, 0xFFFFFFF0);
    entry(0x9C9E, 0xFFFFFFFF, 8);
    tiff += std::string(4, '\0') + std::string("T\0i\0\0\0", 6);
    TiffTexts texts;
    MemorySource source(tiff.data(), tiff.size());
    EXPECT_EQ(S_OK, ReadTiffTexts(source, 0, tiff.size(), texts));
    EXPECT_EQ("Ti", texts.xpTitle);
    EXPECT_EQ("", texts.xpComment);
    EXPECT_EQ("", texts.xpKeywords);
    std::string many = tiff;
    many[8] = '\xFF';
    many[9] = '\xFF';
    MemorySource manySource(many.data(), many.size());
    TiffTexts fromMany;
    EXPECT_EQ(S_OK, ReadTiffTexts(manySource, 0, many.size(), fromMany));
    EXPECT_EQ("Ti", fromMany.xpTitle);
}

}  // namespace

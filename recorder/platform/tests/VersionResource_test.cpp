#include <marlin/platform/VersionResource.h>

#include <gtest/gtest.h>

#include "PeBuilder.h"
#include <marlin/platform/ByteSource.h>
#include <marlin/platform/PeImage.h>

namespace marlin::platform {

using marlin::platform::PeImage;
using marlin::platform::SpanByteSource;
using marlin::platform::VersionResource;
using pe_builder::Bytes;

namespace {

pe_builder::VersionContent sampleContent() {
    pe_builder::VersionContent content;
    content.fileVersionMS = 0x00030005;
    content.fileVersionLS = 0x00000001;
    content.type = 2;
    content.translation = std::make_pair(std::uint16_t{0x0409}, std::uint16_t{0x04B0});
    content.strings = {{"CompanyName", "Quazar"}, {"ProductName", "Marlin"}};
    return content;
}

std::optional<Bytes> resourceOf(const Bytes& file) {
    const SpanByteSource src(file);
    return PeImage::versionResource(src);
}

}  // namespace

TEST(PeImageTest, FindsTheVersionResourceInBothHeaderForms) {
    const Bytes resource = pe_builder::versionResource(sampleContent());
    for (bool plus : {false, true}) {
        const auto found = resourceOf(pe_builder::peFile(resource, plus));
        ASSERT_TRUE(found) << "PE32+ " << plus;
        EXPECT_EQ(*found, resource);
    }
}

TEST(PeImageTest, RejectsFilesThatAreNotProgramFiles) {
    EXPECT_FALSE(resourceOf({}));
    EXPECT_FALSE(resourceOf({'M', 'Z'}));
    Bytes file = pe_builder::peFile(pe_builder::versionResource(sampleContent()));
    file[0x40] = 'N';  // "NE": a 16-bit file, which has no resource tree of this kind
    EXPECT_FALSE(resourceOf(file));
}

TEST(PeImageTest, EveryTruncationGivesNothingOrTheWholeResource) {
    const Bytes resource = pe_builder::versionResource(sampleContent());
    const Bytes file = pe_builder::peFile(resource);
    for (std::size_t n = 0; n < file.size(); ++n) {
        const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
        const auto found = resourceOf(cut);
        // The resource lies inside the section's raw data, so a cut either keeps all of it or loses it.
        if (found) {
            EXPECT_EQ(*found, resource) << "cut at " << n;
        }
        if (n < pe_builder::kVersionDataOffset + resource.size()) {
            EXPECT_FALSE(found) << "cut at " << n;
        }
    }
}

TEST(PeImageTest, HostileOffsetsStayInsideTheFile) {
    const Bytes good = pe_builder::peFile(pe_builder::versionResource(sampleContent()));
    const std::size_t r = pe_builder::kResourceSectionOffset;
    struct Patch {
        std::size_t at;
        std::uint32_t value;
    } patches[] = {
        {0x3C, 0xFFFFFFF0u},           // header offset past the end
        {0x46, 0xFFFF},                // 65535 sections
        {r + 20, 0x80000000u | 0},     // type entry pointing back at its own directory
        {r + 20, 0xFFFFFFFFu},         // subdirectory far outside
        {r + 0x18 + 20, 0x7FFFFFF0u},  // data entry far outside
        {r + 0x48, 0xFFFFFFF0u},       // data address wraps around
        {r + 0x4C, 0xFFFFFFFFu},       // data size larger than everything
        {r + 14, 0xFFFF},              // 65535 type entries
    };
    for (const Patch& p : patches) {
        Bytes bad = good;
        for (int i = 0; i < 4 && p.at + i < bad.size(); ++i)
            bad[p.at + i] = static_cast<std::uint8_t>(p.value >> (8 * i));
        // Must return (no crash, no endless walk); the content may be anything the bytes allow.
        (void)resourceOf(bad);
    }
    Bytes selfLoop = good;
    selfLoop[r + 20] = 0;  // the type entry names directory 0, the root itself, as its subdirectory
    selfLoop[r + 23] = 0x80;
    EXPECT_FALSE(resourceOf(selfLoop));
}

TEST(VersionResourceTest, ReadsFixedPartTranslationAndStrings) {
    const Bytes data = pe_builder::versionResource(sampleContent());
    const VersionResource res(data);
    ASSERT_TRUE(res.fixedInfo());
    EXPECT_EQ(res.fixedInfo()->fileVersionMS, 0x00030005u);
    EXPECT_EQ(res.fixedInfo()->fileType, 2u);
    ASSERT_TRUE(res.firstTranslation());
    EXPECT_EQ(res.firstTranslation()->first, 0x0409);
    EXPECT_EQ(res.firstTranslation()->second, 0x04B0);
    EXPECT_EQ(res.queryString("040904B0", "CompanyName"), "Quazar");
    // Keys compare without regard to letter case, as the table keys in real files vary.
    EXPECT_EQ(res.queryString("040904b0", "productname"), "Marlin");
    EXPECT_FALSE(res.queryString("040904B0", "Comments"));
    EXPECT_FALSE(res.queryString("04070000", "CompanyName"));
}

TEST(VersionResourceTest, WrongSignatureMeansNoFixedPart) {
    Bytes data = pe_builder::versionResource(sampleContent());
    // The fixed part starts after the 6-byte head and the padded key "VS_VERSION_INFO".
    data[40] ^= 0xFF;
    EXPECT_FALSE(VersionResource(data).fixedInfo());
}

TEST(VersionResourceTest, ZeroLengthBlockEndsTheListInsteadOfLooping) {
    Bytes data = pe_builder::versionResource(sampleContent());
    // The first child (StringFileInfo) follows the 92-byte head and fixed part; give it length 0.
    data[92] = 0;
    data[93] = 0;
    const VersionResource res(data);
    ASSERT_FALSE(res.empty());
    EXPECT_FALSE(res.firstTranslation());
}

TEST(VersionResourceTest, LengthsLargerThanTheDataAreCut) {
    Bytes data = pe_builder::versionResource(sampleContent());
    data[0] = 0xFF;
    data[1] = 0xFF;
    data[2] = 0xFF;  // value length 0xFFFF
    data[3] = 0xFF;
    const VersionResource res(data);
    EXPECT_FALSE(res.empty());
    // Every truncation parses without reading past the end.
    const Bytes whole = pe_builder::versionResource(sampleContent());
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        const VersionResource part(std::span<const std::uint8_t>(whole.data(), n));
        if (n < 6) {
            EXPECT_TRUE(part.empty());
        }
    }
}

TEST(VersionResourceTest, DeepNestingIsBounded) {
    Bytes inner = pe_builder::block("x", 0, {}, 0, {});
    for (int i = 0; i < 40; ++i) inner = pe_builder::block("x", 0, {}, 0, {inner});
    const VersionResource res(inner);
    ASSERT_FALSE(res.empty());
    std::string path;
    for (int i = 0; i < VersionResource::kMaxDepth; ++i) path += "\\x";
    EXPECT_NE(res.find(path), nullptr);
    EXPECT_EQ(res.find(path + "\\x"), nullptr);
}

TEST(VersionResourceTest, Utf16TextBecomesUtf8) {
    const Bytes text = {'A',  0,    0xE4, 0,   0xAC, 0x20, 0x3D, 0xD8, 0x00,
                        0xDE, 0x00, 0xD8, 'z', 0,    0,    0,    'n',  0};
    // A, a-umlaut, euro sign, U+1F600, an unpaired high surrogate, z, then the end at the zero.
    EXPECT_EQ(VersionResource::utf16ToUtf8(text), "A\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBDz");
    EXPECT_EQ(VersionResource::utf16ToUtf8(Bytes{'a', 0, 'b'}), "a");  // odd byte dropped
}

}  // namespace marlin::platform

// The package bound to its program image: the digest, what the writer records in the image's
// slot (and nothing else it changes), and the reader refusing a package that does not match,
// in place and while copying it.
#include "extractor/package/sfx_binding.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "common/format.h"
#include "extractor/package/sfx_file.h"
#include "extractor/package/sfx_fs.h"
#include "extractor/package/sfx_sha256.h"
#include "tests/support/sfx_test_support.h"

namespace fs = std::filesystem;
using namespace sfxtest;

namespace {

constexpr size_t kSlotAt = 0x280;      // inside the minimal image's one section (0x200-0x3FF)
constexpr size_t kChecksumAt = 0x40 + 24 + 64;
constexpr size_t kSectionFlagsAt = 0x40 + 24 + 0xE0 + 36;

std::string Hex(const uint8_t* bytes, size_t size) {
    std::string text;
    for (size_t i = 0; i < size; ++i) text += common::Format("%02x", bytes[i]);
    return text;
}

std::string Sha256Hex(const std::string& data, size_t piece) {
    sfx::CSha256 hash;
    for (size_t at = 0; at < data.size(); at += piece) hash.Update(data.data() + at, std::min(piece, data.size() - at));
    uint8_t digest[sfx::kSha256Size];
    hash.Final(digest);
    return Hex(digest, sizeof digest);
}

std::string ImageWithSlot(size_t at = kSlotAt) {
    std::string image = MinimalPeImage();
    image.replace(at, sfx::kBindingSlotSize, std::string("!SfxImageBinding") + std::string(48, '\0'));
    return image;
}

SfxPackagePlan SamplePlan() {
    SfxPackagePlan plan;
    plan.flags = 0x301;
    plan.commands[0] = "run.exe %SfxCmdLine%";
    plan.entries.push_back(MakeEntry("run.exe", SampleBytes(20000, 3), 2));
    plan.entries.push_back(MakeEntry("settings.ini", "[Bios]\r\n", 0xFF));
    return plan;
}

sfx::SfxBinding SlotOf(const std::string& bytes) {
    return sfx::ParseBindingSlot(reinterpret_cast<const uint8_t*>(bytes.data()) + kSlotAt);
}

// The checksum as the PE format describes it, one word at a time with the carry folded at once.
uint32_t TextbookChecksum(std::string bytes) {
    const uint32_t size = static_cast<uint32_t>(bytes.size());
    bytes.replace(kChecksumAt, 4, 4, '\0');
    if (bytes.size() % 2) bytes += '\0';
    uint32_t sum = 0;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        sum += static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + size;
}

uint32_t U32At(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    return value;
}

TEST(SfxSha256, StandardVectorsInAnyPieces) {
    struct Case {
        std::string data;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopq"
         "rstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        // Lengths at the padding's edges: the length fits the last block, just does not, a whole block.
        {std::string(55, 'x'), "d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072"},
        {std::string(56, 'x'), "04c26261370ee7541549d16dee320c723e3fd14671e66a099afe0a377c16888e"},
        {std::string(64, 'x'), "7ce100971f64e7001e8fe5a51973ecdfe1ced42befe7ee8d5fd6219506b5393c"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases) {
        for (size_t piece : {size_t(1), size_t(7), size_t(64), size_t(997), size_t(1) << 20}) {
            if (piece == 1 && c.data.size() > 100000) continue;
            EXPECT_EQ(c.digest, Sha256Hex(c.data, piece)) << c.data.size() << " bytes in pieces of " << piece;
        }
    }
}

TEST(SfxBinding, WriterRecordsThePackageInTheSlotAndChangesNothingElse) {
    CScratchDir dir;
    const std::string plainImage = MinimalPeImage() + std::string(1, 'o');  // an odd size: words straddle
    const std::string slotted = ImageWithSlot() + std::string(1, 'o');
    const std::string before = ReadFile(BuildPackage(dir, "old.exe", slotted.substr(0, kSlotAt) +
                                                                       std::string(1, 'y') + slotted.substr(kSlotAt + 1),
                                                     SamplePlan()));
    const std::string path = BuildPackage(dir, "new.exe", slotted, SamplePlan());
    ASSERT_FALSE(path.empty());
    const std::string after = ReadFile(path);
    ASSERT_EQ(before.size(), after.size());

    const sfx::SfxBinding binding = SlotOf(after);
    EXPECT_EQ(plainImage.size(), binding.offset);
    EXPECT_EQ(after.size() - plainImage.size(), binding.length);
    EXPECT_EQ("!SRC", after.substr(binding.offset, 4));
    EXPECT_EQ(Sha256Hex(after.substr(binding.offset), 4096), Hex(binding.digest, sizeof binding.digest));
    EXPECT_EQ(TextbookChecksum(after), U32At(after, kChecksumAt));
    // The image without a slot (its marker broken by one byte) is copied as it is; with the
    // slot, only the slot's values and the checksum differ from it.
    EXPECT_EQ(plainImage.size(), before.find("!SRC"));
    EXPECT_EQ(0u, U32At(before, kChecksumAt));
    std::string expected = before;
    expected.replace(kSlotAt, 1, 1, '!');
    expected.replace(kSlotAt + 16, 48, after, kSlotAt + 16, 48);
    expected.replace(kChecksumAt, 4, after, kChecksumAt, 4);
    EXPECT_TRUE(expected == after);

    // The reader finds it matching, in place and through a copy, and extracts from the copy.
    CSfxFile sfx;
    ASSERT_TRUE(sfx.Open(path.c_str()) && sfx.LoadToc()) << sfx.m_szLastError;
    ASSERT_TRUE(sfx.CheckBinding(binding)) << sfx.m_szLastError;
    fs::create_directory(dir.Path() / "private");
    unsigned long error = 0;
    FILE* copy = sfxfs::CreatePrivateScratch((dir.Path() / "private").string().c_str(), &error);
    ASSERT_NE(nullptr, copy) << error;
    ASSERT_TRUE(sfx.ReadFromCopy(binding, copy)) << sfx.m_szLastError;
    EXPECT_STREQ("run.exe %SfxCmdLine%", sfx.m_szWin32Command);
    dir.EnterAsCurrent();
    fs::current_path(dir.Path() / "private");
    EXPECT_EQ(2, sfx.ExtractAll(6)) << sfx.m_szLastError;
    sfx.Close();
    EXPECT_EQ(SamplePlan().entries[0].data, ReadFile("run.exe"));
    // Nothing of the copy is left beside the files.
    EXPECT_EQ(2, std::distance(fs::directory_iterator("."), fs::directory_iterator()));
}

TEST(SfxBinding, ReaderRefusesAPackageThatIsNotTheOneRecorded) {
    CScratchDir dir;
    const std::string good = ReadFile(BuildPackage(dir, "good.exe", ImageWithSlot(), SamplePlan()));
    ASSERT_EQ("!SRC", good.substr(0x400, 4));
    const sfx::SfxBinding binding = SlotOf(good);
    const size_t tocAt = good.rfind("!TOC");
    struct Case {
        const char* what;
        std::string bytes;
        bool matches;
    } cases[] = {
        {"as written", good, true},
        {"bytes after the trailer, as signing appends them", good + std::string(200, '\x5A'), true},
        {"the program image changed (its signature covers it)", good.substr(0, 0x210) + "X" + good.substr(0x211),
         true},
        {"a byte of a stream", good.substr(0, 0x480) + static_cast<char>(good[0x480] ^ 1) + good.substr(0x481), false},
        {"the stored command", good.substr(0, tocAt + 12) + "R" + good.substr(tocAt + 13), false},
        {"the data marker", good.substr(0, 0x400) + "?SRC" + good.substr(0x404), false},
        {"another package appended behind", good + good.substr(0x400), false},
    };
    for (const Case& c : cases) {
        const std::string path = dir.File("case.exe");
        WriteFile(path, c.bytes);
        CSfxFile inPlace;
        ASSERT_TRUE(inPlace.Open(path.c_str())) << c.what;
        EXPECT_EQ(c.matches, inPlace.CheckBinding(binding) == TRUE) << c.what;
        if (!c.matches) {
            EXPECT_STREQ("Package hash mismatched", inPlace.m_szLastError) << c.what;
            EXPECT_FALSE(inPlace.IsOpen()) << c.what;
        }

        // Copied: nothing is read from a copy that does not match, and the copy goes.
        const fs::path folder = dir.Path() / "copy";
        fs::create_directories(folder);
        CSfxFile copied;
        ASSERT_TRUE(copied.Open(path.c_str()) && copied.LoadToc()) << c.what;
        unsigned long error = 0;
        FILE* copy = sfxfs::CreatePrivateScratch(folder.string().c_str(), &error);
        ASSERT_NE(nullptr, copy);
        EXPECT_EQ(c.matches, copied.ReadFromCopy(binding, copy) == TRUE) << c.what;
        if (!c.matches) {
            EXPECT_FALSE(copied.IsOpen()) << c.what;
            EXPECT_EQ(0, copied.ExtractAll(0xFF)) << c.what;
        }
        copied.Close();
        EXPECT_TRUE(fs::is_empty(folder)) << c.what;
    }

    // Nothing recorded (the slot as built): nothing to hold the package to.
    EXPECT_FALSE(sfx::ParseBindingSlot(reinterpret_cast<const uint8_t*>(ImageWithSlot().data()) + kSlotAt).Recorded());
}

TEST(SfxBinding, ATableReadBeforeTheCopyMustBeTheCopys) {
    // The package changes under the open reader between the table's first read and the copy
    // (Windows' sharing rules forbid it; a writable mapping made earlier would not care): the
    // copy matches what the file now holds, but the records read before are not the checked ones.
    CScratchDir dir;
    SfxPackagePlan other = SamplePlan();
    other.entries[1].info.m_dwPlatform = 0x02;
    const std::string first = ReadFile(BuildPackage(dir, "a.exe", ImageWithSlot(), SamplePlan()));
    const std::string second = ReadFile(BuildPackage(dir, "b.exe", ImageWithSlot(), other));
    ASSERT_EQ(first.size(), second.size());
    const std::string path = dir.File("pkg.exe");
    WriteFile(path, first);
    CSfxFile sfx;
    ASSERT_TRUE(sfx.Open(path.c_str()) && sfx.LoadToc());
    const CSrcFileInfo* handedOut = sfx.Entries()[1].get();
    WriteFile(path, second);
    unsigned long error = 0;
    FILE* copy = sfxfs::CreatePrivateScratch(dir.Path().string().c_str(), &error);
    ASSERT_NE(nullptr, copy);
    EXPECT_FALSE(sfx.ReadFromCopy(SlotOf(second), copy));
    EXPECT_STREQ("Package hash mismatched", sfx.m_szLastError);
    // The records the dialog holds stay valid.
    ASSERT_EQ(2u, sfx.Entries().size());
    EXPECT_EQ(handedOut, sfx.Entries()[1].get());
    EXPECT_EQ(0xFFu, handedOut->m_dwPlatform);
}

TEST(SfxBinding, WriterRefusesASlotItCannotUse) {
    struct Case {
        const char* what;
        std::string image;
        const char* error;
    } cases[] = {
        {"twice", ImageWithSlot(0x240).replace(kSlotAt, 16, "!SfxImageBinding"), "more than once"},
        {"cut off", ImageWithSlot(0x3D0), "cut off by the end of its section"},
        {"writable", ImageWithSlot().replace(kSectionFlagsAt + 3, 1, 1, '\xE0'), "writable section"},
        {"filled in", ImageWithSlot().replace(kSlotAt + 20, 1, 1, '\x01'), "already filled in"},
    };
    // A discardable section (debugging data quoting the slot) is not where the slot is: a program
    // with its only marker there has no slot, and is copied as it is.
    {
        CScratchDir dir;
        std::string image = ImageWithSlot();
        image.replace(kSectionFlagsAt + 3, 1, 1, '\x42');
        const std::string written = ReadFile(BuildPackage(dir, "debug.exe", image, SamplePlan()));
        EXPECT_EQ(image, written.substr(0, image.size()));
    }
    for (const Case& c : cases) {
        CScratchDir dir;
        WriteFile(dir.File("program"), c.image);
        std::string error;
        EXPECT_FALSE(WriteSfxPackage(dir.File("program"), SamplePlan(), dir.File("out.exe"), error)) << c.what;
        EXPECT_NE(std::string::npos, error.find(c.error)) << c.what << ": " << error;
        EXPECT_FALSE(fs::exists(dir.File("out.exe"))) << c.what;
    }
}

}  // namespace

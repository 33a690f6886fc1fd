// The DOS program's SMBIOS identity and system check, driven through the same cases as
// Brevane's: the walk is compared with Brevane's reader on fixture tables and on thousands of
// damaged ones, the check on one table of identities and ID lists.
#include "dos/core/dz_identity.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/captured_log.h"
#include "tests/support/smbios_builder.h"
#include "updater/platform/system_info.h"
#include "updater/platform/validate_system.h"

using testsupport::Bytes;
using testsupport::SmbiosTableBuilder;

namespace {

void ExpectSameIdentity(const Bytes& table) {
    CSystemInfo brevane;
    ReadSystemIdentity(table.data(), static_cast<uint32_t>(table.size()), brevane);
    dz_identity dos;
    dz_read_identity(table.data(), static_cast<uint32_t>(table.size()), &dos);
    EXPECT_EQ(brevane.SystemBiosVersion.substr(0, DZ_IDENTITY_TEXT - 1), dos.biosVersion);
    EXPECT_EQ(brevane.SystemManufacturer.substr(0, DZ_IDENTITY_TEXT - 1), dos.manufacturer);
    EXPECT_EQ(brevane.SystemProductName.substr(0, DZ_IDENTITY_TEXT - 1), dos.productName);
    EXPECT_EQ(brevane.SystemZeraID, dos.zeraId);
}

TEST(DosIdentity, WalksTablesAsBrevaneDoes) {
    std::vector<Bytes> tables = {
        testsupport::ZeraMachineTable("A05", "Zera Inc.", "Zera Book 14", 0x0ABC),
        SmbiosTableBuilder().SystemInformation("Zera Inc.", "P").BiosInformation("A01", 7).ZeraOem(0x1234, 9).EndOfTable().Table(),
        SmbiosTableBuilder().BiosInformation("first").BiosInformation("second").ZeraOem(0x0001).ZeraOem(0x0002).Table(),
        SmbiosTableBuilder().ZeraOem(0xBEEF).Table(),  // the word ends on the table's last byte
        SmbiosTableBuilder().BiosInformation(std::string(200, 'v')).Table(),
        SmbiosTableBuilder().AddRaw({0, 3, 0, 0, 0, 0}).ZeraOem(0x0ABC).Table(),  // broken chain first
        Bytes{},
    };
    for (const Bytes& table : tables) ExpectSameIdentity(table);

    dz_identity dos;
    const Bytes& zera = tables[0];
    dz_read_identity(zera.data(), static_cast<uint32_t>(zera.size()), &dos);
    EXPECT_STREQ("A05", dos.biosVersion);
    EXPECT_STREQ("Zera Inc.", dos.manufacturer);
    EXPECT_STREQ("Zera Book 14", dos.productName);
    EXPECT_EQ(0x0ABC, dos.zeraId);

    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        Bytes table = tables[round % 3];
        int damage = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < damage; ++i) table[random() % table.size()] = static_cast<unsigned char>(random());
        if (round % 5 == 0) table.resize(random() % (table.size() + 1));
        SCOPED_TRACE(round);
        ExpectSameIdentity(table);
    }
}

TEST(DosIdentity, ChecksTheSystemAsBrevaneDoes) {
    struct Case {
        const char* manufacturer;
        uint16_t zeraId;
        std::vector<uint32_t> ids;
        int code;
        const char* message;
    } cases[] = {
        {"Zera Inc.", 0x0ABC, {0x0ABD, 0x0ABC}, 0, "OK"},
        {"Zera Inc.", 0x0ABC, {0x10ABC}, 0, "OK"},  // only the low 16 bits count
        {"ZERA INC.", 0x0ABC, {0x0ABC}, 14, "The system to be updated is not a Zera system."},
        {"Zera", 0x0ABC, {0x0ABC}, 14, "The system to be updated is not a Zera system."},
        {"Zera Inc.", 0, {0x0ABC}, 14, "ZERA system ID (in SMBIOS Type D0) is not existed in current system."},
        {"Zera Inc.", 0x0ABC, {}, 11, "The command line /ZeraID must be specified and not zero"},
        {"Zera Inc.", 0x0ABC, {0}, 14, "The system is different between current system and ROM file."},
        {"Zera Inc.", 0x0ABC, {0x0ABD}, 14, "The system is different between current system and ROM file."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        testsupport::CapturedLog log;  // Brevane's check logs a mismatch against the list
        CSystemInfo info;
        info.SystemManufacturer = c.manufacturer;
        info.SystemZeraID = c.zeraId;
        std::string brevaneMessage;
        EXPECT_EQ(c.code, CheckSystemIdentity(info, c.ids, brevaneMessage));
        EXPECT_EQ(c.message, brevaneMessage);
        dz_identity dos{};
        std::snprintf(dos.manufacturer, sizeof dos.manufacturer, "%s", c.manufacturer);
        dos.zeraId = c.zeraId;
        const char* dosMessage = nullptr;
        int mismatch = -1;
        EXPECT_EQ(c.code, dz_check_identity(&dos, c.ids.data(), static_cast<int>(c.ids.size()), &dosMessage, &mismatch));
        EXPECT_STREQ(c.message, dosMessage);
        EXPECT_EQ(!log.Lines().empty(), mismatch == 1);  // Brevane logs exactly the list mismatches
    }
}

}  // namespace

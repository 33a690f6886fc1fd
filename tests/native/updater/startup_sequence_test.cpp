#include "updater/app/startup_sequence.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "tests/support/log_capture.h"
#include "updater/app/message_box_kind.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

class FakeServices : public IStartupServices {
public:
    bool affinity = true;
    bool fileExists = true;
    bool admin = true;
    int systemInfo = 1;
    std::string systemInfoError;
    SystemIdentity identity{"Zera Inc.", "Zera 5500", "A05", 0x0ABC};
    int validation = 0;
    std::string validationError;
    DialogOutcome outcome{0, false};
    bool winPe = false;
    PowerStatus power;  // AC on line, no battery
    std::deque<int> answers;

    std::vector<std::string> calls;
    std::vector<std::string> boxes;
    DialogVersions dialogVersions;

    bool SetSingleProcessor() override {
        calls.push_back("SetSingleProcessor");
        return affinity;
    }
    bool FileExists(const std::string& path) override {
        calls.push_back("FileExists " + path);
        return fileExists;
    }
    bool IsAdministratorUser() override {
        calls.push_back("IsAdministratorUser");
        return admin;
    }
    int GetSystemInfo(std::string& error) override {
        calls.push_back("GetSystemInfo");
        error = systemInfoError;
        return systemInfo;
    }
    SystemIdentity Identity() override { return identity; }
    int ValidateSystem(std::string& error) override {
        calls.push_back("ValidateSystem");
        error = validationError;
        return validation;
    }
    int ShowMessage(const std::string& text, unsigned style) override {
        boxes.push_back(std::to_string(style) + " " + text);
        if (answers.empty()) return 1;
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    DialogOutcome RunDialog(const DialogVersions& versions) override {
        calls.push_back("RunDialog");
        dialogVersions = versions;
        return outcome;
    }
    PowerStatus ReadPowerStatus() override {
        calls.push_back("ReadPowerStatus");
        return power;
    }
    bool IsWinPE() override { return winPe; }
    void BeforeRestart(int code) override { calls.push_back("BeforeRestart " + std::to_string(code)); }
    void RebootWinPE() override { calls.push_back("RebootWinPE"); }
    void RebootWindows() override { calls.push_back("RebootWindows"); }
};

constexpr unsigned kErrorBox = box::kOk | box::kIconError;

class StartupSequenceTest : public testing::Test {
protected:
    StartupSequenceTest() {
        options.BiosRomFile = "bios.rom";
        options.BiosVer = "A06";
        options.MeRomFile = "me.bin";
        options.MeVer = "11.8.50";
        options.ZeraID = {0x0ABC};
    }
    int Run() { return RunStartupSequence(services, options, capture.log(), "/BiosRomFile bios.rom"); }

    LogCapture capture;
    FakeServices services;
    COptionSettings options;
};

// Each refusal: its code, its log line (or none), its message, and where the sequence stopped.
TEST_F(StartupSequenceTest, RefusalsInOrder) {
    struct Case {
        const char* name;
        std::function<void(COptionSettings&, FakeServices&)> setup;
        int code;
        std::vector<std::string> log;
        std::string message;  // "" : no box of the sequence's own
        std::string lastCall;
    };
    const std::vector<Case> cases = {
        {"affinity", [](COptionSettings&, FakeServices& s) { s.affinity = false; }, 9, {}, "", "SetSingleProcessor"},
        {"no image", [](COptionSettings& o, FakeServices&) { o.BiosRomFile.clear(); }, 11,
         {"$Error, The /BiosRomFile is not specified in command line."},
         "The /BiosRomFile is not specified in command line.", "SetSingleProcessor"},
        {"image missing", [](COptionSettings& o, FakeServices& s) { o.BiosRomFile = "C:\\x\\b.rom"; s.fileExists = false; },
         12, {"$Error, The specified bios_rom_file (C:\\x\\b.rom) is not found"},
         "The specified bios_rom_file (C:\\x\\b.rom) is not found", "FileExists C:\\x\\b.rom"},
        {"no version", [](COptionSettings& o, FakeServices&) { o.BiosVer.clear(); }, 11,
         {"$Error, The /BiosVer is not specified in command line."}, "The /BiosVer is not specified in command line.",
         "FileExists bios.rom"},
        {"not admin", [](COptionSettings&, FakeServices& s) { s.admin = false; }, 8, {},
         "This program requires Administrator user to execute!", "IsAdministratorUser"},
        {"no identity", [](COptionSettings&, FakeServices& s) { s.systemInfo = 0; s.systemInfoError = "No SMBIOS"; },
         4, {"$GetSystemInfo, Get System Information ERROR", "No SMBIOS"}, "Get System Information ERROR\nNo SMBIOS",
         "GetSystemInfo"},
        {"other machine",
         [](COptionSettings&, FakeServices& s) {
             s.validation = 14;
             s.validationError = "The system is different between current system and ROM file.";
         },
         14, {"$GetSystemInfo, OK, SystemManufacturer=[Zera Inc.], SystemProductName=[Zera 5500], SystemZeraID=[0ABC]"},
         "The system is different between current system and ROM file.", "ValidateSystem"},
        {"no ME image", [](COptionSettings& o, FakeServices&) { o.MeRomFile.clear(); o.MeVer.clear(); }, 11,
         {"$GetSystemInfo, OK, SystemManufacturer=[Zera Inc.], SystemProductName=[Zera 5500], SystemZeraID=[0ABC]",
          "$Error, The /MeRomFile is not specified in command line."},
         "The /MeRomFile is not specified in command line.", "ValidateSystem"},
        {"no ME version", [](COptionSettings& o, FakeServices&) { o.MeVer.clear(); }, 11,
         {"$GetSystemInfo, OK, SystemManufacturer=[Zera Inc.], SystemProductName=[Zera 5500], SystemZeraID=[0ABC]",
          "$Error, The /MeVer is not specified in command line."},
         "The /MeVer is not specified in command line.", "ValidateSystem"},
        {"on battery",
         [](COptionSettings&, FakeServices& s) {
             s.power.acLine = 0;
             s.power.batteryFlag = 1;
             s.power.batteryPercent = 90;
         },
         15,
         {"$GetSystemInfo, OK, SystemManufacturer=[Zera Inc.], SystemProductName=[Zera 5500], SystemZeraID=[0ABC]",
          "$PowerCheck, Result=[ERROR], running on battery power (ACLineStatus=0, BatteryFlag=1, "
          "BatteryLifePercent=90)"},
         "The computer is running on battery power.\nConnect the AC adapter and start the update again.",
         "ReadPowerStatus"},
    };
    for (bool silent : {false, true}) {
        for (const Case& c : cases) {
            LogCapture log;
            FakeServices s;
            COptionSettings o = options;
            o.NoPause = silent;
            c.setup(o, s);
            EXPECT_EQ(c.code, RunStartupSequence(s, o, log.log(), "")) << c.name;
            EXPECT_EQ(c.log, log.Lines()) << c.name;
            if (silent || c.message.empty())
                EXPECT_THAT(s.boxes, IsEmpty()) << c.name;
            else
                EXPECT_THAT(s.boxes, ElementsAre(std::to_string(kErrorBox) + " " + c.message)) << c.name;
            EXPECT_EQ(c.lastCall, s.calls.back()) << c.name;
        }
    }
}

TEST_F(StartupSequenceTest, ForceItMakesTheVersionOptionalAndAmdTheMeOptions) {
    options.BiosVer.clear();
    options.ForceIt = true;
    options.AMD = true;
    options.MeRomFile.clear();
    options.MeVer.clear();
    options.CA = "A05";
    options.CX = "X03";
    EXPECT_EQ(0, Run());
    EXPECT_EQ("RunDialog", services.calls.back());
    EXPECT_EQ("A05", services.dialogVersions.currentBios);
    EXPECT_EQ("", services.dialogVersions.newBios);
    EXPECT_EQ("A05", services.dialogVersions.compatibleA);
    EXPECT_EQ("X03", services.dialogVersions.compatibleX);
    EXPECT_THAT(services.boxes, IsEmpty());
    EXPECT_TRUE(options.ZeraID.empty()) << "the system-ID list is released after the dialog";
}

TEST_F(StartupSequenceTest, DeveloperBypassOfSystemInformation) {
    options.Ovrel = true;
    services.answers = {box::kAnswerYes};
    services.identity = SystemIdentity{};  // nothing was read
    services.validation = 14;
    services.validationError = "The system to be updated is not a Zera system.";
    DebugCapture debug;
    EXPECT_EQ(14, Run());
    EXPECT_THAT(services.calls, testing::Not(testing::Contains("GetSystemInfo")));
    EXPECT_THAT(capture.Lines(), ElementsAre("$GetSystemInfo, OK, SystemManufacturer=[], SystemProductName=[], "
                                             "SystemZeraID=[0000]"));
    EXPECT_THAT(services.boxes, ElementsAre(std::to_string(box::kYesNo) + " Bypass GetSysInfo?",
                                            std::to_string(kErrorBox) + " The system to be updated is not a Zera system."));
    EXPECT_THAT(debug.Texts(), ElementsAre("@@ CmdLie: /BiosRomFile bios.rom"));
}

TEST_F(StartupSequenceTest, NoDeveloperQuestionOrTraceWithoutOvrel) {
    DebugCapture debug;
    EXPECT_EQ(0, Run());
    EXPECT_THAT(services.boxes, IsEmpty());
    EXPECT_THAT(debug.Texts(), IsEmpty());
    EXPECT_THAT(services.calls, ElementsAre("SetSingleProcessor", "FileExists bios.rom", "IsAdministratorUser",
                                            "GetSystemInfo", "ValidateSystem", "ReadPowerStatus", "RunDialog"));
}

TEST_F(StartupSequenceTest, RebootOnlyForRequestedSuccessOrFailedFlash) {
    struct Case {
        int code;
        bool requested;
        bool winPe;
        const char* reboot;  // nullptr: none
    };
    const Case cases[] = {
        {0, true, false, "RebootWindows"}, {0, true, true, "RebootWinPE"},   {0, false, false, nullptr},
        {1, true, false, "RebootWindows"}, {31, true, true, "RebootWinPE"},  {31, false, false, nullptr},
        {2, true, false, nullptr},         {13, true, false, nullptr},       {32, true, false, nullptr},
        {33, true, true, nullptr},
    };
    for (const Case& c : cases) {
        FakeServices s;
        LogCapture log;
        COptionSettings o = options;
        s.outcome = DialogOutcome{c.code, c.requested};
        s.winPe = c.winPe;
        EXPECT_EQ(c.code, RunStartupSequence(s, o, log.log(), "")) << c.code;
        if (c.reboot) {
            EXPECT_EQ(c.reboot, s.calls.back()) << c.code;
            // The report is written before a restart that may end the process at once.
            EXPECT_EQ("BeforeRestart " + std::to_string(c.code), s.calls[s.calls.size() - 2]) << c.code;
        } else
            EXPECT_EQ("RunDialog", s.calls.back()) << c.code;
    }
}

// /Check with the options the end-to-end runs do not vary: a forced version and an ignored gate.
TEST_F(StartupSequenceTest, CheckHonoursForceItAndIgnorePower) {
    options.Check = options.NoPause = options.ForceIt = options.IgnorePower = true;
    options.BiosVer = "A01";
    services.power.batteryFlag = 2;
    services.power.batteryPercent = 5;
    services.outcome = DialogOutcome{0, true};
    RunReport report;
    EXPECT_EQ(0, RunStartupSequence(services, options, capture.log(), "", &report));
    EXPECT_THAT(services.calls, testing::Not(testing::Contains("RunDialog")));
    EXPECT_EQ("$Check, Result=[0], the update would run", capture.Lines().back());
    EXPECT_EQ("ignored", report.powerGate);
    EXPECT_TRUE(report.checkOnly);
    EXPECT_FALSE(report.rebootRequested);
}


}  // namespace

// The DOS program's secure-flash choice and its reading of tool output, driven through the same
// cases as Brevane's: settings.ini texts through both choices (answer, image and log lines), and
// every tool transcript, whole and cut into other chunks, through both interpreters.
#include "dos/core/dz_secure.h"
#include "dos/core/dz_toolout.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/captured_log.h"
#include "tests/support/debug_capture.h"
#include "tests/support/tool_transcripts.h"
#include "updater/platform/secure_flash.h"
#include "tests/support/output_view_model.h"
#include "updater/tools/tool_output_interpreter.h"

namespace {

// settings.ini read by the DOS program's INI reader, for Brevane's choice.
class IniText : public CSettingsReader {
public:
    explicit IniText(std::string text) : m_text(std::move(text)) {}
    int ReadInt(const char* section, const char* key, int defaultValue) const override {
        return dz_ini_int(m_text.c_str(), section, key, defaultValue);
    }
    std::string ReadString(const char* section, const char* key, const char* defaultValue) const override {
        char value[96];
        return dz_ini_string(m_text.c_str(), section, key, value, sizeof value) ? value : defaultValue;
    }

private:
    std::string m_text;
};

// The DOS log lines as the captured log reads a file back: a line feed in a message starts a
// new line.
void Collect(void* context, const char* tag, const char* text) {
    auto* lines = static_cast<std::vector<std::string>*>(context);
    std::string line = std::string(tag) + ", ";
    for (const char* p = text; *p; ++p) {
        if (*p == '\n') {
            lines->push_back(line);
            line.clear();
        } else {
            line += *p;
        }
    }
    lines->push_back(line);
}

struct SecureCase {
    const char* ini;
    const char* current;
    int answer;
    const char* image;
};

TEST(DosSecureFlash, ChoosesAsBrevaneChooses) {
    const std::string ax = "[settings]\r\nSecEn=1\r\nSecAVer=A10\r\nSecXVer=X05\r\nSecCapFlie=SECURE.CAP\r\n";
    const SecureCase cases[] = {
        {"", "A12", 1, "IMAGE.ROM"},
        {"[settings]\r\nSecEn=2\r\n", "A12", 1, "IMAGE.ROM"},
        {ax.c_str(), "A12", 0, "SECURE.CAP"},
        {ax.c_str(), "A09", 0, "IMAGE.ROM"},
        {ax.c_str(), "X05", 0, "SECURE.CAP"},
        {ax.c_str(), "x04", 0, "IMAGE.ROM"},
        {ax.c_str(), "T03", 0, "IMAGE.ROM"},
        {ax.c_str(), "1.2.3", 0, "IMAGE.ROM"},
        {ax.c_str(), "A1", 0, "IMAGE.ROM"},
        {ax.c_str(), "#12", 0, "IMAGE.ROM"},
        {"[settings]\nSecEn=1\nSecXVer=X05\n", "A12", -1, "IMAGE.ROM"},
        {"[settings]\nSecEn=1\nSecAVer=A10\n", "A12", -1, "IMAGE.ROM"},
        {"[settings]\nSecEn=1\nSecAVer=A10\nSecXVer=X05\nEnVerT=1\n", "T12", -1, "IMAGE.ROM"},
        {"[settings]\nSecEn=1\nSecAVer=A10\nSecXVer=X05\nEnVerT=1\nSecTVer=T02\nSecCapFlie=S.CAP", "t03", 0, "S.CAP"},
        {"[settings]\nSecEn=1\nSecAVer=A10\nSecXVer=X05\nEnVerT=1\nSecTVer=T\n", "T03", 0, "IMAGE.ROM"},
        {"[settings]\nSecEn=1\nSecAVer=A10\nSecXVer=A20\nSecCapFlie=S.CAP\n", "A15", 0, "IMAGE.ROM"},  // X first
        {"[settings]\nSecEn=1\nSecAVer=A10\nSecXVer=X05\n", "A12", 0, ""},  // no capsule named: empty
        // Names ignore case, blanks and quotes around values go, comments and other sections do not count.
        {"; note\r\n[Other]\r\nSecEn=1\r\n[ SETTINGS ]\r\n secen = 1 \r\nsecaver=\"A10\"\r\nSECXVER = X05\r\n"
         "SecCapFlie = \"SEC CAP.BIN\"\r\n", "A10", 0, "SEC CAP.BIN"},
        {"[settings]\nSecEn=1\nSecAVer=A10\nSecXVer=X5\n", "X07", 0, "IMAGE.ROM"},
        {"[settings]\nSecEn=1\nSecAVer=A10\nSecXVer=X99999999999\nSecCapFlie=S\n", "X07", 0, "IMAGE.ROM"},
    };
    for (const SecureCase& c : cases) {
        SCOPED_TRACE(std::string(c.ini) + " / " + c.current);
        testsupport::CapturedLog brevaneLog;
        std::string brevaneImage = "IMAGE.ROM";
        EXPECT_EQ(c.answer, SelectSecureFlashFile(IniText(c.ini), c.current, brevaneImage, false));
        EXPECT_EQ(c.image, brevaneImage);

        std::vector<std::string> dosLog;
        char dosImage[96] = "IMAGE.ROM";
        EXPECT_EQ(c.answer, dz_select_secure_flash(c.ini, c.current, dosImage, sizeof dosImage, Collect, &dosLog));
        EXPECT_EQ(c.image, std::string(dosImage));
        EXPECT_EQ(brevaneLog.Lines(), dosLog);
    }
}

// One comparison serves both programs; on generated versions it keeps its promises: an answer
// of -1, 0 or 1, a message exactly when it is -1 (the DOS buffer left as it was otherwise), and
// the chosen series logged exactly when a comparison was made.
TEST(DosSecureFlash, BelowSecureVersionKeepsItsPromisesOnGeneratedVersions) {
    std::mt19937 random(5);
    const std::string alphabet = "0123456789aAxXtT.-+ ";
    auto text = [&] {
        std::string s;
        for (size_t n = random() % 6; n > 0; --n) s += alphabet[random() % alphabet.size()];
        return s;
    };
    int answers[3] = {};
    for (int round = 0; round < 5000; ++round) {
        std::string current = text(), a = text(), x = text(), t = text();
        int tEnabled = static_cast<int>(random() % 3);
        SCOPED_TRACE(current + "|" + a + "|" + x + "|" + t);
        std::vector<std::string> log;
        char message[DZ_VERSION_MESSAGE] = "untouched";
        int answer = dz_is_below_secure_version(current.c_str(), a.c_str(), x.c_str(), tEnabled, t.c_str(), message,
                                                Collect, nullptr, &log);
        ASSERT_TRUE(answer >= -1 && answer <= 1);
        answers[answer + 1]++;
        ASSERT_EQ(answer == -1, std::string(message) != "untouched");
        ASSERT_EQ(answer == -1 ? 0u : 1u, log.size());
        if (answer >= 0) {
            ASSERT_EQ(0u, log[0].find("Info, "));
        }
    }
    // The generator reaches every answer.
    EXPECT_GT(answers[0], 0);
    EXPECT_GT(answers[1], 0);
    EXPECT_GT(answers[2], 0);
}

struct Flags {
    int done, completed, meVersionFound, meError, biosError;
    std::string errorText, meVersion;
    bool operator==(const Flags& o) const {
        return done == o.done && completed == o.completed && meVersionFound == o.meVersionFound &&
               meError == o.meError && biosError == o.biosError && errorText == o.errorText &&
               meVersion == o.meVersion;
    }
};
std::ostream& operator<<(std::ostream& out, const Flags& f) {
    return out << "done=" << f.done << " completed=" << f.completed << " found=" << f.meVersionFound
               << " meError=" << f.meError << " biosError=" << f.biosError << " error=\"" << f.errorText
               << "\" version=\"" << f.meVersion << "\"";
}

// Both interpreters over the same chunks (the DOS one keeps lines up to its buffer).
void ExpectSameReading(const std::vector<std::string>& chunks, int kind, bool meUpdV1) {
    testsupport::DebugCapture quiet;
    COutputViewModel view;
    CToolOutputInterpreter brevane(&view, ToolOutputFlags{meUpdV1, false});
    dz_tool_output dos{};
    dos.meUpdV1 = meUpdV1;
    for (const std::string& chunk : chunks) {
        brevane.DispatchChunk(chunk.c_str(), kind);
        dz_tool_chunk(&dos, chunk.c_str(), kind);
    }
    EXPECT_EQ((Flags{brevane.m_bDone, brevane.m_bCompleted, brevane.m_bMeVersionFound, brevane.m_bMeError,
                     brevane.m_bBiosError, brevane.GetErrorText(), brevane.GetMeVersion()}),
              (Flags{dos.done, dos.completed, dos.meVersionFound, dos.meError, dos.biosError, dos.errorText,
                     dos.meVersion}));
}

TEST(DosToolOutput, ReadsEveryTranscriptAsBrevaneDoes) {
    for (const testsupport::ToolTranscript& t : testsupport::AllTranscripts()) {
        if (t.updateType > DZ_TOOL_ME_FLASH) continue;  // no driver load under DOS
        SCOPED_TRACE(t.name);
        ExpectSameReading(t.chunks, t.updateType, t.meUpdV1);
        std::string whole;
        for (const std::string& chunk : t.chunks) whole += chunk;
        // Under DOS the output comes from a file, in pieces of at most 1023 bytes.
        ExpectSameReading(testsupport::SplitEvery(whole, DZ_TOOL_CHUNK), t.updateType, t.meUpdV1);
        for (size_t size : {1u, 7u, 64u})
            ExpectSameReading(testsupport::SplitEvery(whole, size), t.updateType, t.meUpdV1);
    }
}

TEST(DosToolOutput, TheStandInsScriptsReadAsIntended) {
    // What the DOS end-to-end packages make the stand-ins print.
    const std::string banner = "Flash tool\r\nCopyright\r\n\r\n";
    ExpectSameReading({banner + "Reading flash ...... done\r\nVerifying NCBlock ..... done\r\n"}, DZ_TOOL_BIOS, false);
    ExpectSameReading({banner + "Erasing flash ..... done\r\nError: 0x1F Secure Flash Rom Verify Fail\r\n"},
                      DZ_TOOL_BIOS, false);
    ExpectSameReading({"Version tool\r\nFW Version: 11.8.50.3425\r\nFW Update is complete\r\n"}, DZ_TOOL_ME_VERSION,
                      false);
    ExpectSameReading({"FW Version: 11.8.50.3425\r\nError 8707: Image file not valid\r\n"}, DZ_TOOL_ME_FLASH, false);
    ExpectSameReading({"line\r\nline\r\nline\r\nline\r\nline\r\nError 8707 in line six\r\nmore\r\n"},
                      DZ_TOOL_ME_FLASH, true);

    dz_tool_output out{};
    dz_tool_chunk(&out, (banner + "Program ...\r\nError: 0x1F Secure Flash Rom Verify Fail\r\n").c_str(), DZ_TOOL_BIOS);
    EXPECT_EQ(1, out.biosError);
    EXPECT_STREQ("Error: 0x1F Secure Flash Rom Verify Fail", out.errorText);
    dz_tool_output me{};
    dz_tool_chunk(&me, "FW Version: 11.8.50.3425\r\n", DZ_TOOL_ME_VERSION);
    EXPECT_STREQ("11.8.50.3425\r", me.meVersion);
    dz_tool_reset_me(&me);
    EXPECT_EQ(0, me.meVersionFound);
    EXPECT_STREQ("", me.meVersion);
}

}  // namespace

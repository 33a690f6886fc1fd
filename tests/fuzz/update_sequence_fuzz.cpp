// Drives the update handler with tool runs whose outcome (start failures, flags, version and
// error texts) comes from the fuzzer's bytes, and checks what must hold on every path: the
// result is a code of the table, a restart is only ever requested after a flash verdict, silent
// mode shows nothing, the dialog closes at most once, and no tool command line carries a quote
// beyond the two around an image path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "updater/app/option_settings.h"
#include "updater/app/update_sequence.h"
#include "updater/tools/log_file.h"

namespace {

class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint8_t Next() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    std::string Text() {
        size_t length = Next() % 24;
        std::string text;
        for (size_t i = 0; i < length; ++i) text += static_cast<char>(Next());
        return text;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

class FuzzTools : public IToolRunner {
public:
    explicit FuzzTools(Bytes& bytes) : m_bytes(bytes) {}
    bool Start(const std::string& program, const std::string& commandLine, int, uint32_t& lastError) override {
        if (program.empty() || program.find('\\') == std::string::npos) std::abort();  // never searched for
        size_t quotes = 0;
        for (char c : commandLine) quotes += c == '"';
        if (quotes != 0 && quotes != 2) std::abort();
        uint8_t how = m_bytes.Next();
        if (how & 1) {
            lastError = m_bytes.Next();
            return false;
        }
        m_done |= (how & 2) != 0;
        m_completed |= (how & 4) != 0;
        m_biosError |= (how & 8) != 0;
        m_meError |= (how & 16) != 0;
        if (how & 32) {
            m_found = true;
            m_version = m_bytes.Text();
        }
        if (how & 64) m_error = m_bytes.Text();
        m_end = ToolEnd{};
        if (how & 128) {
            m_end.exitCodeKnown = true;
            m_end.exitCode = m_bytes.Next() * 0x01010101u;
            m_end.bytesPrinted = m_bytes.Next();
        } else {
            m_end.bytesPrinted = 1;
        }
        m_passes = m_bytes.Next() % 4;
        return true;
    }
    ToolEnd LastEnd() const override { return m_end; }
    void RecordToolFailure(const std::string& text, int updateType) override {
        if (text.empty()) std::abort();  // a failure always says why
        m_error = text;
        (updateType == 0 ? m_biosError : m_meError) = true;
    }
    bool ChildHasEnded() override { return m_passes-- <= 0; }
    void Wait(uint32_t) override {}
    bool OutputTaken() override { return true; }
    bool ReaderDetached() const override { return false; }
    void Stop() override { m_passes = 0; }
    void SetPollInterval(int) override {}
    void ResetMeResults() override {
        m_version.clear();
        m_found = m_meError = false;
    }
    void ClearDone() override { m_done = false; }
    void ClearCompleted() override { m_completed = false; }
    bool Done() const override { return m_done; }
    bool Completed() const override { return m_completed; }
    bool BiosError() const override { return m_biosError; }
    bool MeError() const override { return m_meError; }
    bool MeVersionFound() const override { return m_found; }
    std::string MeVersion() const override { return m_version; }
    std::string ErrorText() const override { return m_error; }

private:
    Bytes& m_bytes;
    bool m_done = false, m_completed = false, m_biosError = false, m_meError = false, m_found = false;
    std::string m_version, m_error;
    int m_passes = 0;
    ToolEnd m_end;
};

class FuzzHost : public IUpdateHost {
public:
    FuzzHost(Bytes& bytes, COptionSettings& options) : m_bytes(bytes), m_options(options) {}
    void PumpMessages(int) override {}
    void Sleep(uint32_t) override {}
    void DisableUpdateButton() override {}
    void StartSpinner() override {}
    void StopSpinner() override {}
    void SetWarningStatus(const char*) override {}
    void DisableQuitAndClose() override {}
    void EnableQuit() override {}
    void CloseDialog(int code) override {
        if (code != 1 && code != 2) std::abort();
        ++closes;
        lastClose = code;
    }
    int ShowMessage(const std::string&, const char*, unsigned) override {
        if (m_options.NoPause) std::abort();  // silent mode never waits for a person
        return m_bytes.Next() & 1 ? 6 : 7;
    }
    bool Is64BitWindows() override { return m_bytes.Next() & 1; }
    std::string ToolFolder() override { return "C:\\pkg"; }
    std::string SystemFolder() override { return "C:\\Windows\\System32"; }
    bool IsWinPE() override { return m_bytes.Next() & 1; }
    std::string SelectSecureFlashFile(const std::string&, const std::string& image) override {
        return m_bytes.Next() & 1 ? m_bytes.Text() : image;
    }
    BitLockerProbe SuspendBitLocker() override {
        BitLockerProbe probe;
        probe.state = static_cast<BitLockerProbe::State>(m_bytes.Next() % 4);
        probe.call = m_bytes.Text();
        probe.hr = m_bytes.Next() * 0x01010101u;
        return probe;
    }
    uint64_t TickMs() override { return m_clock += m_bytes.Next() * 1000u; }
    uint32_t QueryToolLimitMs() override { return 120000; }
    int closes = 0;
    int lastClose = 0;

private:
    Bytes& m_bytes;
    COptionSettings& m_options;
    uint64_t m_clock = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes bytes(data, size);
    COptionSettings options;
    uint8_t flags = bytes.Next();
    options.NoPause = flags & 1;
    options.NoReboot = flags & 2;
    options.AMD = flags & 4;
    options.MEUPD = flags & 8;
    options.IgnoreBitLocker = flags & 16;
    options.BiosRomFile = bytes.Text();
    options.MeRomFile = bytes.Text();
    options.MeVer = bytes.Text();
    DialogVersions versions{bytes.Text(), bytes.Text(), options.MeVer, bytes.Text(), bytes.Text()};

    CLogFile log('S', ".\\", "fuzz");
    log.enabled = 0;  // the log's own rules are not under test here
    FuzzTools tools(bytes);
    FuzzHost host(bytes, options);
    int resultCode = 13;
    bool reboot = false;
    CUpdateSequence(host, tools, options, log, versions, resultCode, reboot).Run();

    switch (resultCode) {
    case 0: case 1: case 16: case 31: case 32: case 33: break;
    default: std::abort();
    }
    if (host.closes > 1) std::abort();
    if (host.closes == 0 && options.NoPause) std::abort();  // silent runs always end the dialog
    if (host.lastClose == 1 && resultCode != 0 && resultCode != 1 && resultCode != 31) std::abort();
    if (reboot && (host.lastClose != 1 || options.NoReboot)) std::abort();
    return 0;
}

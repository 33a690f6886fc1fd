#include "updater/tools/tool_output_interpreter.h"

#include <climits>
#include <cstring>

#include "updater/app/option_settings.h"
#include "updater/tools/log_file.h"
#include "updater/tools/update_type.h"

namespace {

// The case-insensitive tests upper-case both texts the way the C locale does: ASCII letters
// only, byte for byte, so offsets in the copy are offsets in the original.
std::string ToUpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool Contains(const std::string& text, const char* wanted) { return text.find(wanted) != std::string::npos; }

// The line counters only grow; they stop at INT_MAX instead of wrapping on endless output.
void CountUp(int& counter) {
    if (counter < INT_MAX) ++counter;
}

bool Tracing() { return theOptions.Ovrel; }

}  // namespace

size_t FindAnyCase(const std::string& haystack, const char* needle) {
    return ToUpperAscii(haystack).find(ToUpperAscii(needle));
}

namespace {
// The longest text a chunk test looks for across reads is "FW Update is complete".
constexpr size_t kCarryBytes = sizeof("FW Update is complete") - 2;
}  // namespace

size_t CToolOutputInterpreter::FindAcrossReads(const std::string& joined, size_t carried, const char* wanted) {
    const size_t length = std::strlen(wanted);
    const size_t from = carried >= length ? carried - (length - 1) : 0;
    size_t at = FindAnyCase(joined.substr(from), wanted);
    return at == std::string::npos ? at : from + at;
}

void CToolOutputInterpreter::DispatchChunk(const char* chunk, int updateType) {
    if (!chunk) return;
    const std::string text(chunk);  // up to the first zero byte
    const std::string joined = m_strCarry + text;
    const size_t carried = m_strCarry.size();
    m_strCarry = joined.substr(joined.size() > kCarryBytes ? joined.size() - kCarryBytes : 0);
    // The text from a match on: within the chunk it is the chunk's own bytes; a match that a
    // read boundary cut starts with the carried bytes.
    auto from = [&](size_t at) { return at >= carried ? std::string(chunk + (at - carried)) : joined.substr(at); };
    switch (updateType) {
    case UpdateTypeMeVersion: {
        size_t marker = text.find("FW Version:");
        size_t errorAt = std::string::npos;
        if (marker != std::string::npos)
            ExtractVersion(chunk, marker);
        else if ((errorAt = FindAcrossReads(joined, carried, "Error")) != std::string::npos)
            OnToolError(errorAt >= carried ? chunk : from(errorAt).c_str(), UpdateTypeMeVersion);
        break;
    }
    case UpdateTypeMeUpdate: {
        size_t errorAt = FindAcrossReads(joined, carried, "Error");
        if (errorAt != std::string::npos) {
            const std::string error = from(errorAt);
            if (Tracing()) CLogFile::DebugPrint(">>> Me Update get error:%s.[Got] <---", error.c_str());
            OnToolError(error.c_str(), UpdateTypeMeUpdate);
        } else if (FindAcrossReads(joined, carried, "FW Update is complete") != std::string::npos) {
            if (Tracing()) CLogFile::DebugPrint(">>> Me Update PASS:%s. <---", chunk);
            if (theOptions.MeUpdV1)
                OnMeComplete(chunk);
            else
                OnMeProgress("\r\nME FW Update is complete. Please wait...");
        } else if (theOptions.MeUpdV1) {
            OnMeOutput(chunk);
        } else {
            OnMeProgress(".");
        }
        break;
    }
    case UpdateTypeDriverLoad:
        // Any chunk without the success word counts as an error, even a partial line.
        if (FindAnyCase(text, "Successfully") == std::string::npos) OnToolError(chunk, UpdateTypeDriverLoad);
        break;
    default: {
        size_t errorAt = FindAcrossReads(joined, carried, "Error");
        if (errorAt != std::string::npos) {
            const std::string error = from(errorAt);
            if (Tracing()) CLogFile::DebugPrint(">>> BIOS Update get error:%s.[Got] <---", error.c_str());
            OnToolError(error.c_str(), UpdateTypeBios);
        }
        OnBiosOutput(chunk);
        break;
    }
    }
}

void CToolOutputInterpreter::ExtractVersion(const char* chunk, size_t markerAt) {
    const char* after = chunk + markerAt + std::strlen("FW Version:");
    const char* lineFeed = std::strchr(after, '\n');
    // Without a line feed in this chunk the version is taken as empty, yet still reported.
    std::string version;
    if (lineFeed) {
        for (const char* p = after; p < lineFeed; ++p)
            if (*p != ' ' && *p != '\n') version += *p;
    }
    OnMeVersion(version.c_str());
    if (Tracing()) CLogFile::DebugPrint(">>> FW Version:%s <---", version.c_str());
}

void CToolOutputInterpreter::OnBiosOutput(const char* text) {
    if (!m_pView || !text) return;
    for (const char* p = text; *p; ++p) {
        if (*p == '\r') {
            RewriteLastLine(m_strBiosLine.c_str());
            GoToEnd();
            if (Contains(m_strBiosLine, "Verifying NCBlock ..... done")) {
                m_bDone = 1;
                m_bCompleted = 1;
            } else if (Contains(m_strBiosLine, "Error")) {
                SetErrorText(m_strBiosLine);
                m_bBiosError = 1;
            }
            m_strBiosLine.clear();
        } else if (*p == '\n') {
            // The first three lines are the tool's banner and are not shown.
            if (m_nBiosLineCount >= 3) {
                GoToEnd();
                Append("\r\n");
                GoToEnd();
            }
            CountUp(m_nBiosLineCount);
        } else if (m_nBiosLineCount >= 3) {
            // A tool that never ends its line would grow it without bound; only its end is
            // looked at when it ends, so the oldest half goes once it reaches twice the bound.
            if (m_strBiosLine.size() >= 2 * kMaxBiosLine) m_strBiosLine.erase(0, kMaxBiosLine);
            m_strBiosLine += *p;
        }
    }
}

void CToolOutputInterpreter::OnMeOutput(const char* text) {
    if (!m_pView || !text) return;
    for (const char* p = text; *p; ++p) {
        if (*p == '\r') {
            RewriteLastLine(m_strMeLine.c_str());
            GoToEnd();
            std::string upper = ToUpperAscii(m_strMeLine);
            if (Contains(upper, "FW UPDATE IS COMPLETE")) {
                m_bDone = 1;
                m_bCompleted = 1;
            } else if (Contains(upper, "ERROR")) {
                // The rest of this text is deliberately left unread and the line kept.
                m_bMeError = 1;
                return;
            } else if (Contains(upper, "[ COMPLETE ]")) {
                Append("\r\nUpdating ME. Please wait...\r\n");
                CountUp(m_nMeLineCount);
            }
            m_strMeLine.clear();
        } else if (*p == '\n') {
            // The first five lines of the ME tool are not shown.
            if (m_nMeLineCount >= 5) {
                GoToEnd();
                Append("\r\n");
                GoToEnd();
            }
            CountUp(m_nMeLineCount);
        } else if (m_nMeLineCount >= 5) {
            m_strMeLine += *p;
        }
    }
}

void CToolOutputInterpreter::OnMeProgress(const char* text) {
    if (!m_pView || !text) return;
    if (m_nMeLineCount < 1) {
        // The first call only opens the progress display; its own text is not shown.
        RewriteLastLine("Updating ME...\r\n");
        GoToEnd();
        m_strMeLine.clear();
        CountUp(m_nMeLineCount);
        return;
    }
    int start = 0, end = 0;
    m_pView->GetSel(start, end);
    m_pView->SetSel(start, start);
    m_pView->ReplaceSel(text);
    GoToEnd();
    // A row holds 70 dots the first time and 69 afterwards, since the count restarts at 1.
    if (m_nMeLineCount >= 70) {
        Append("\r\n");
        m_nMeLineCount = 1;
    }
    CountUp(m_nMeLineCount);
}

void CToolOutputInterpreter::OnToolError(const char* text, int updateType) {
    const std::string errorText = text ? text : "";
    SetErrorText(errorText);
    if (Tracing()) CLogFile::DebugPrint("%s", errorText.c_str());
    if (updateType == UpdateTypeMeVersion || updateType == UpdateTypeMeUpdate || updateType == UpdateTypeDriverLoad) {
        m_bMeError = 1;
        int saved = m_nMeLineCount;
        m_nMeLineCount = 5;
        OnMeProgress(errorText.c_str());
        m_nMeLineCount = saved;
    } else {
        m_bBiosError = 1;
        int saved = m_nBiosLineCount;
        m_nBiosLineCount = 3;
        OnBiosOutput("\r\nError message: ");
        // OnBiosOutput may replace m_strErrorText while it runs, so it reads a copy.
        OnBiosOutput((errorText + "\r\n").c_str());
        m_nBiosLineCount = saved;
    }
}

void CToolOutputInterpreter::OnMeVersion(const char* version) {
    if (Tracing()) CLogFile::DebugPrint("Get FW Ver:%s", version ? version : "");
    {
        std::lock_guard<std::mutex> lock(m_textLock);
        m_strMeVersion = version ? version : "";
    }
    // Raised after the text is stored, so a poller that sees the flag also sees the version.
    m_bMeVersionFound = 1;
}

void CToolOutputInterpreter::OnMeComplete(const char* text) {
    m_bCompleted = 1;
    OnMeOutput(text);
}

std::string CToolOutputInterpreter::GetMeVersion() const {
    std::lock_guard<std::mutex> lock(m_textLock);
    return m_strMeVersion;
}

std::string CToolOutputInterpreter::GetErrorText() const {
    std::lock_guard<std::mutex> lock(m_textLock);
    return m_strErrorText;
}

void CToolOutputInterpreter::ResetMeResults() {
    {
        std::lock_guard<std::mutex> lock(m_textLock);
        m_strMeVersion.clear();
    }
    m_bMeVersionFound = 0;
    m_bMeError = 0;
}

void CToolOutputInterpreter::SetErrorText(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_textLock);
    m_strErrorText = text;
}

void CToolOutputInterpreter::GoToEnd() {
    int length = m_pView->GetTextLength();
    m_pView->SetSel(length, length);
    m_pView->ScrollCaret();
}

void CToolOutputInterpreter::Append(const char* text) {
    m_pView->ReplaceSel(text);
    GoToEnd();
}

void CToolOutputInterpreter::SelectLastLine() {
    int lastLineStart = m_pView->LineIndex(m_pView->GetLineCount() - 1);
    m_pView->SetSel(lastLineStart, m_pView->GetTextLength());
    m_pView->ScrollCaret();
}

void CToolOutputInterpreter::RewriteLastLine(const char* text) {
    SelectLastLine();
    m_pView->ReplaceSel(text);
}

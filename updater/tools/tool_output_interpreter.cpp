#include "updater/tools/tool_output_interpreter.h"

#include <climits>
#include <cstring>

#include "dos/core/dz_toolout.h"
#include "updater/tools/log_file.h"
#include "updater/tools/update_type.h"

namespace {

// The line counters only grow; they stop at INT_MAX instead of wrapping on endless output.
void CountUp(int& counter) {
    if (counter < INT_MAX) ++counter;
}

}  // namespace


void CToolOutputInterpreter::DispatchChunk(const char* chunk, int updateType) {
    if (!chunk) return;
    long at = -1;
    const int meaning = dz_tool_chunk_meaning(m_carry, chunk, updateType, &at);
    const std::string carried = m_carry;
    dz_tool_keep_carry(m_carry, chunk);
    // The output from a found text on: within the chunk it is the chunk's own bytes; a text that
    // a read boundary cut starts with the carried bytes.
    auto from = [&](long offset) {
        const size_t where = static_cast<size_t>(offset);
        return where >= carried.size() ? std::string(chunk + (where - carried.size())) : carried.substr(where) + chunk;
    };
    const bool error = meaning == DZ_CHUNK_ERROR;
    switch (updateType) {
    case UpdateTypeMeVersion:
        if (meaning == DZ_CHUNK_VERSION)
            ExtractVersion(chunk, static_cast<size_t>(at));
        else if (error)  // the whole chunk when the error word starts in it
            OnToolError(static_cast<size_t>(at) >= carried.size() ? chunk : from(at).c_str(), UpdateTypeMeVersion);
        break;
    case UpdateTypeMeUpdate:
        if (error) {
            const std::string text = from(at);
            if (m_flags.trace) CLogFile::DebugPrint(">>> Me Update get error:%s.[Got] <---", text.c_str());
            OnToolError(text.c_str(), UpdateTypeMeUpdate);
        } else if (meaning == DZ_CHUNK_COMPLETE) {
            if (m_flags.trace) CLogFile::DebugPrint(">>> Me Update PASS:%s. <---", chunk);
            if (m_flags.meUpdV1)
                OnMeComplete(chunk);
            else
                OnMeProgress("\r\nME FW Update is complete. Please wait...");
        } else if (m_flags.meUpdV1) {
            OnMeOutput(chunk);
        } else {
            OnMeProgress(".");
        }
        break;
    case UpdateTypeDriverLoad:
        if (error) OnToolError(chunk, UpdateTypeDriverLoad);
        break;
    default:
        if (error) {
            const std::string text = from(at);
            if (m_flags.trace) CLogFile::DebugPrint(">>> BIOS Update get error:%s.[Got] <---", text.c_str());
            OnToolError(text.c_str(), UpdateTypeBios);
        }
        OnBiosOutput(chunk);
        break;
    }
}

void CToolOutputInterpreter::ExtractVersion(const char* chunk, size_t markerAt) {
    std::string version(std::strlen(chunk) + 1, '\0');  // room for all the rest of the chunk
    dz_tool_me_version(chunk + markerAt, &version[0], version.size());
    version.resize(std::strlen(version.c_str()));
    OnMeVersion(version.c_str());
    if (m_flags.trace) CLogFile::DebugPrint(">>> FW Version:%s <---", version.c_str());
}

void CToolOutputInterpreter::OnBiosOutput(const char* text) {
    if (!m_pView || !text) return;
    for (const char* p = text; *p; ++p) {
        switch (dz_tool_byte(*p, &m_nBiosLineCount, DZ_TOOL_BIOS_BANNER)) {
        case DZ_BYTE_LINE_END: {
            RewriteLastLine(m_strBiosLine.c_str());
            GoToEnd();
            const int line = dz_tool_bios_line(m_strBiosLine.c_str());
            if (line == DZ_LINE_DONE) {
                m_bDone = 1;
                m_bCompleted = 1;
            } else if (line == DZ_LINE_ERROR) {
                SetErrorText(m_strBiosLine);
                m_bBiosError = 1;
            }
            m_strBiosLine.clear();
            break;
        }
        case DZ_BYTE_NEW_ROW:
            NewRow();
            break;
        case DZ_BYTE_TEXT:
            // A tool that never ends its line would grow it without bound; only its end is
            // looked at when it ends, so the oldest half goes once it reaches twice the bound.
            if (m_strBiosLine.size() >= 2 * kMaxBiosLine) m_strBiosLine.erase(0, kMaxBiosLine);
            m_strBiosLine += *p;
            break;
        default:
            break;
        }
    }
}

void CToolOutputInterpreter::OnMeOutput(const char* text) {
    if (!m_pView || !text) return;
    for (const char* p = text; *p; ++p) {
        switch (dz_tool_byte(*p, &m_nMeLineCount, DZ_TOOL_ME_BANNER)) {
        case DZ_BYTE_LINE_END: {
            RewriteLastLine(m_strMeLine.c_str());
            GoToEnd();
            const int line = dz_tool_me_line(m_strMeLine.c_str());
            if (line == DZ_LINE_DONE) {
                m_bDone = 1;
                m_bCompleted = 1;
            } else if (line == DZ_LINE_ERROR) {
                // The rest of this text is deliberately left unread and the line kept.
                m_bMeError = 1;
                return;
            } else if (line == DZ_LINE_STEP) {
                Append("\r\nUpdating ME. Please wait...\r\n");
                CountUp(m_nMeLineCount);
            }
            m_strMeLine.clear();
            break;
        }
        case DZ_BYTE_NEW_ROW:
            NewRow();
            break;
        case DZ_BYTE_TEXT:
            m_strMeLine += *p;
            break;
        default:
            break;
        }
    }
}

void CToolOutputInterpreter::NewRow() {
    GoToEnd();
    Append("\r\n");
    GoToEnd();
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
    if (m_flags.trace) CLogFile::DebugPrint("%s", errorText.c_str());
    if (updateType == UpdateTypeMeVersion || updateType == UpdateTypeMeUpdate || updateType == UpdateTypeDriverLoad) {
        m_bMeError = 1;
        int saved = m_nMeLineCount;
        m_nMeLineCount = DZ_TOOL_ME_BANNER;
        OnMeProgress(errorText.c_str());
        m_nMeLineCount = saved;
    } else {
        m_bBiosError = 1;
        int saved = m_nBiosLineCount;
        m_nBiosLineCount = DZ_TOOL_BIOS_BANNER;
        OnBiosOutput("\r\nError message: ");
        // OnBiosOutput may replace m_strErrorText while it runs, so it reads a copy.
        OnBiosOutput((errorText + "\r\n").c_str());
        m_nBiosLineCount = saved;
    }
}

void CToolOutputInterpreter::OnMeVersion(const char* version) {
    if (m_flags.trace) CLogFile::DebugPrint("Get FW Ver:%s", version ? version : "");
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

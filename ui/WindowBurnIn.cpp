#include "WindowBurnIn.h"

#include "FullPath.h"
#include "HeapObject.h"
#include "ResultMessage.h"

WindowBurnIn::~WindowBurnIn()
{
    DeleteOnHeap(m_run);
}

const wchar_t* WindowBurnIn::Prepare(DescribeRunFunction describe, CallObserver* consoleLog, bool consoleLogHasFile,
                                     const Anonymizer* anonymizer, const SessionRecorder* recording,
                                     UINT doneCommand)
{
    // Hashed now: the report names the library by its SHA-256.
    IdentifyLoadedLibrary(true, m_library);
    if (describe)
        describe(m_library, m_facts);

    CallObserver* log = consoleLog;
    if (m_choice.callLog) {
        SetupPath& path = m_choice.scratch;
        m_failure.Clear();
        DWORD error = ERROR_FILENAME_EXCED_RANGE;
        if (CallLogPathBeside(m_choice.reportPath.c_str(), path))
            error = m_reportLog.OpenFile(path.c_str(), m_library);
        if (error != 0) {
            m_failure.Append(L"无法打开调用日志文件 ").Append(path.c_str());
            win32::AppendErrorReason(m_failure, error);
            return m_failure.c_str();
        }
        m_consoleLog = consoleLogHasFile ? consoleLog : nullptr;
        log = this;
    }

    BurnInRequest request;
    request.cycles = m_choice.cycles;
    request.port = m_choice.port;
    request.reportPath = m_choice.reportPath.c_str();
    request.timeoutSeconds = m_choice.timeoutSeconds;
    request.doneCommand = doneCommand;
    request.anonymizer = anonymizer;
    request.recording = recording;
    m_run = NewOnHeap<BurnInRun>(request, m_facts, log, m_choice.callLog ? &m_reportLog : nullptr);
    return m_run ? nullptr : kNoMemoryMessage;
}

void WindowBurnIn::BeforeCall(const CallRecord& call)
{
    m_reportLog.BeforeCall(call);
    if (m_consoleLog)
        m_consoleLog->BeforeCall(call);
}

void WindowBurnIn::OnCall(const CallRecord& call)
{
    m_reportLog.OnCall(call);
    if (m_consoleLog)
        m_consoleLog->OnCall(call);
}

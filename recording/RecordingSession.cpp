#include "RecordingSession.h"

bool RecordingSession::Write(const GrowingText& text)
{
    if (m_sink.Write(text.data(), text.size())) {
        m_whole += text.size();
        return true;
    }
    // Part of the text may have gone out: cut back, so that the file ends with the
    // last whole entry (the stand-in refuses a half one).
    m_sink.CutTo(m_whole);
    return false;
}

void RecordingSession::BeforeCall(const CallRecord& call)
{
    if (!m_stopped)
        m_writer.Before(call);
}

void RecordingSession::OnCall(const CallRecord& call)
{
    if (m_stopped) {
        ++m_notRecorded;
        return;
    }
    // A recording with a call left out would replay wrongly from there on: it ends
    // at the last call it holds whole.
    if (!m_writer.Entry(call, m_entry)) {
        ++m_notRecorded;
        Stop("\r\n; The recording ends here: Zantor ran out of memory.\r\n");
    } else if (!Write(m_entry)) {
        ++m_notRecorded;
        Stop("\r\n; The recording ends here: a write to this file failed.\r\n");
    }
}

void RecordingSession::Stop(const char* why)
{
    m_stopped = true;
    m_entry.Clear();
    m_entry.Append(why);
    Write(m_entry);
}

#include "ContractNotes.h"

#include <cstring>

#include "BreachValue.h"

namespace {

bool SameNote(const wchar_t* a, const wchar_t* b, const ContractBreach& x, const ContractBreach& y)
{
    if (x.rule != y.rule || std::strcmp(x.name, y.name) != 0)
        return false;
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

void AppendAscii(Message& message, const char* text)
{
    for (; *text != 0; ++text)
        message.Append(static_cast<wchar_t>(*text));
}

// "（before → after），", each value as AppendBreachValue writes it.
void AppendChange(Message& message, const ContractBreach& breach)
{
    message.Append(L"（");
    AppendBreachValue(message, breach.rule, breach.name, breach.before);
    message.Append(L" → ");
    AppendBreachValue(message, breach.rule, breach.name, breach.after);
    message.Append(L"），");
}

constexpr wchar_t kNotesCut[] = L"注意：其余注意事项过长，未能显示。";
constexpr std::size_t kNotesCutLength = sizeof kNotesCut / sizeof kNotesCut[0] - 1;

}  // namespace

void AppendContractNote(Message& message, const wchar_t* operation, const ContractBreach& breach,
                        const wchar_t* directoryBefore, const wchar_t* directoryAfter)
{
    message.Append(L"注意：").Append(operation);
    switch (breach.rule) {
    case ContractRule::Register:
    case ContractRule::StackPointer:
        message.Append(L" 返回时 ");
        AppendAscii(message, breach.name);
        message.Append(L" 已被改变");
        AppendChange(message, breach);
        break;
    case ContractRule::DirectionFlag:
        message.Append(L" 返回时方向标志 DF 仍被置位，已清除。");
        return;
    case ContractRule::X87Control:
        message.Append(L" 返回时 x87 控制字已被改变");
        AppendChange(message, breach);
        break;
    case ContractRule::Mxcsr:
        message.Append(L" 返回时 MXCSR 已被改变");
        AppendChange(message, breach);
        break;
    case ContractRule::X87Stack:
        message.Append(L" 返回时 x87 寄存器栈中留有 ")
            .AppendDecimal(static_cast<std::int64_t>(breach.after[0]))
            .Append(L" 个值，已清空。");
        return;
    case ContractRule::StackPopped:
        message.Append(L" 返回时从栈上弹出了 ")
            .AppendDecimal(static_cast<std::int64_t>(breach.after[0]))
            .Append(L" 字节参数（stdcall 应为 ")
            .AppendDecimal(static_cast<std::int64_t>(breach.before[0]))
            .Append(L" 字节，cdecl 应为 0 字节），栈已恢复。");
        return;
    case ContractRule::ExceptionChain:
        message.Append(L" 返回时异常链（fs:[0]）已被改变");
        AppendChange(message, breach);
        break;
    case ContractRule::CurrentDirectory:
        message.Append(L" 改变了当前目录（").Append(directoryBefore).Append(L" → ").Append(directoryAfter);
        message.Append(L"），未恢复。");
        return;
    }
    message.Append(breach.restored ? L"已恢复。" : L"未恢复。");
}

void ContractNotes::Add(const wchar_t* operation, const CallOutcome& outcome)
{
    for (std::size_t i = 0; i < outcome.breachCount; ++i) {
        const ContractBreach& breach = outcome.breaches[i];
        bool seen = false;
        for (std::size_t j = 0; j < m_count && !seen; ++j)
            seen = SameNote(m_notes[j].operation, operation, m_notes[j].breach, breach);
        if (seen)
            continue;
        if (m_count == CallOutcome::kMaxBreaches) {
            m_overflowed = true;
            continue;
        }
        m_notes[m_count++] = {operation, breach};
        if (breach.rule == ContractRule::CurrentDirectory) {
            std::memcpy(m_directoryBefore, outcome.directoryBefore, sizeof m_directoryBefore);
            std::memcpy(m_directoryAfter, outcome.directoryAfter, sizeof m_directoryAfter);
        }
    }
}

void ContractNotes::AppendTo(Message& message) const
{
    bool first = message.size() == 0;
    bool cut = m_overflowed;
    for (std::size_t i = 0; i < m_count && !cut; ++i) {
        // Built apart first, so that a note that does not fit whole is not
        // shown in part, and room is kept for the line that says so.
        Message line;
        AppendContractNote(line, m_notes[i].operation, m_notes[i].breach, m_directoryBefore, m_directoryAfter);
        const std::size_t needed = line.size() + (first ? 0 : 1);
        if (line.cut() || needed + 1 + kNotesCutLength > message.Room()) {
            cut = true;
            break;
        }
        if (!first)
            message.Append(L'\n');
        message.Append(line.c_str());
        first = false;
    }
    if (cut) {
        if (!first)
            message.Append(L'\n');
        if (message.Room() < kNotesCutLength)
            message.MarkCut();
        message.Append(kNotesCut);
    }
}

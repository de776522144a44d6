#include "CallLogLine.h"

#include "BreachValue.h"
#include "Decimal.h"

#include "LibraryText.h"
#include "TextLength.h"
#include "Utf8.h"

namespace {

using Body = NarrowText<kLogBodyCapacity>;

// Appends bytes only when all of them fit, so that no UTF-8 sequence or escape
// is split; otherwise marks the body cut.
void AppendWhole(Body& body, const char* bytes, std::size_t count)
{
    if (count > body.Room()) {
        body.MarkCut();
        return;
    }
    body.Append(bytes, count);
}

void AppendCodePoint(Body& body, char32_t c)
{
    switch (c) {
    case '\t': AppendWhole(body, "\\t", 2); return;
    case '\n': AppendWhole(body, "\\n", 2); return;
    case '\r': AppendWhole(body, "\\r", 2); return;
    case '\\': AppendWhole(body, "\\\\", 2); return;
    default: break;
    }
    if (c < 0x20 || c == 0x7F) {
        const char escape[4] = {'\\', 'x', decimal::kHexDigits[16 + (c >> 4)], decimal::kHexDigits[16 + (c & 15)]};
        AppendWhole(body, escape, 4);
        return;
    }
    char bytes[4];
    AppendWhole(body, bytes, EncodeUtf8(c, bytes));
}

// Wide characters (UTF-16 on Windows, UTF-32 natively) as escaped UTF-8. A lone
// surrogate becomes U+FFFD.
void AppendEscaped(Body& body, const wchar_t* text, std::size_t count)
{
    ForEachCodePoint(text, count, [&body](char32_t c) { AppendCodePoint(body, c); });
}

void AppendEscaped(Body& body, const wchar_t* text)
{
    std::size_t count = 0;
    while (text[count])
        ++count;
    AppendEscaped(body, text, count);
}

// The last `digits` decimal digits of `value`, zeros in front. In 32 bits: on
// 32-bit targets a 64-bit division is a library call.
void AppendPadded(Body& body, unsigned value, int digits)
{
    char text[8];
    for (int i = digits; i-- > 0; value /= 10)
        text[i] = static_cast<char>('0' + value % 10);
    body.Append(text, static_cast<std::size_t>(digits));
}

void AppendTime(Body& body, const LogTime& time)
{
    const LogTimeText text = LogTimeString(time);
    body.Append(text.c_str(), text.size());
}

// Named as the fault message names it: the module's file and the offset.
void AppendPlace(Body& body, std::uintptr_t address, std::uintptr_t moduleBase)
{
    Message module;
    if (moduleBase != 0 && address >= moduleBase && AppendModuleName(module, moduleBase)) {
        AppendEscaped(body, module.c_str(), module.size());
        body.Append('+').AppendHex(address - moduleBase, 0);
    } else {
        body.AppendHex(address, 2 * sizeof(std::uintptr_t));
    }
}

void AppendOutcome(Body& body, const CallRecord& call)
{
    const CallOutcome& outcome = *call.outcome;
    if (!outcome.raised) {
        body.Append("result=").AppendDecimal(outcome.result);
        return;
    }
    if (call.overrunBufferSize != 0) {
        body.Append("overrun=").AppendDecimal(static_cast<std::int64_t>(call.overrunBufferSize));
        return;
    }
    body.Append("fault=").AppendHex(outcome.exceptionCode, 8).Append('@');
    AppendPlace(body, outcome.exceptionAddress, outcome.moduleBase);
    if (outcome.raisedAddress != 0) {
        body.Append(",raised@");
        AppendPlace(body, outcome.raisedAddress, outcome.raisedModuleBase);
    }
}

void AppendDuration(Body& body, std::uint64_t nanoseconds)
{
    body.AppendDecimal(static_cast<std::int64_t>(nanoseconds / 1000)).Append('.');
    AppendPadded(body, static_cast<unsigned>(nanoseconds % 1000), 3);
}

void AppendBuffer(Body& body, const CallRecord& call, std::size_t index, bool fieldValues)
{
    if (index >= call.bufferCount) {
        body.Append('-');
        return;
    }
    const CallBuffer& buffer = call.buffers[index];
    if ((call.photo && index == 0) || (!fieldValues && buffer.role == BufferRole::Value)) {
        body.Append("length=").AppendDecimal(static_cast<std::int64_t>(BoundedLength(buffer.data, buffer.size)));
        return;
    }
    Message text;
    AppendLibraryText(text, buffer.data, buffer.size);
    AppendEscaped(body, text.c_str(), text.size());
}

void AppendBreaches(Body& body, const CallOutcome& outcome)
{
    if (outcome.breachCount == 0) {
        body.Append('-');
        return;
    }
    for (std::size_t i = 0; i < outcome.breachCount && i < CallOutcome::kMaxBreaches; ++i) {
        const ContractBreach& breach = outcome.breaches[i];
        if (i > 0)
            body.Append("; ");
        body.Append(breach.name).Append('=');
        if (breach.rule == ContractRule::CurrentDirectory) {
            body.Append('"');
            AppendEscaped(body, outcome.directoryBefore);
            body.Append("\"->\"");
            AppendEscaped(body, outcome.directoryAfter);
            body.Append('"');
        } else {
            AppendBreachValue(body, breach.rule, breach.name, breach.before);
            body.Append("->");
            AppendBreachValue(body, breach.rule, breach.name, breach.after);
        }
        body.Append(breach.restored ? ",restored" : ",kept");
    }
}

LogLine Finish(const Body& body)
{
    LogLine line;
    line.Append(body.c_str(), body.size());
    if (body.cut())
        line.Append("\t[cut]");
    line.Append("\r\n");
    return line;
}

}  // namespace

namespace {

LogLine Line(const CallRecord& call, const LogTime& time, bool fieldValues)
{
    Body body;
    AppendTime(body, time);
    body.Append('\t').Append(OperationName(call.operation)).Append('\t');
    if (call.hasArgument)
        body.AppendDecimal(call.argument);
    else
        body.Append('-');
    body.Append('\t');
    AppendOutcome(body, call);
    body.Append('\t');
    AppendDuration(body, call.outcome->durationNanoseconds);
    body.Append('\t');
    AppendBuffer(body, call, 0, fieldValues);
    body.Append('\t');
    AppendBuffer(body, call, 1, fieldValues);
    body.Append('\t').Append(ConventionName(call.outcome->convention)).Append('\t');
    AppendBreaches(body, *call.outcome);
    return Finish(body);
}

}  // namespace

LogTimeText LogTimeString(const LogTime& time)
{
    char bytes[kLocalTimeRoom];
    LogTimeText text;
    text.Append(bytes, WriteLocalTime(bytes, time, LocalTimeStyle::Milliseconds));
    return text;
}

LogLine CallStartedLine(Operation operation, bool hasArgument, std::int32_t argument, const LogTime& time)
{
    Body body;
    AppendTime(body, time);
    body.Append('\t').Append(OperationName(operation)).Append('\t');
    if (hasArgument)
        body.AppendDecimal(argument);
    else
        body.Append('-');
    body.Append("\tstarted\t-\t-\t-\t-\t-");
    return Finish(body);
}

LogLine CallLogNote(const char* kind, const LogTime& time, const wchar_t* text)
{
    Body body;
    body.Append('#').Append(kind).Append('\t');
    AppendTime(body, time);
    body.Append('\t');
    AppendEscaped(body, text);
    return Finish(body);
}

LogLine CallLogLine(const CallRecord& call, const LogTime& time)
{
    return Line(call, time, true);
}

LogLine CallLogDebuggerLine(const CallRecord& call, const LogTime& time)
{
    return Line(call, time, false);
}

LogLine CallLogHeader()
{
    Body body;
    body.Append("#time\toperation\targument\toutcome\tduration_us\ttext\terror_text\tconvention\tbreaches");
    return Finish(body);
}

LogLine CallLogSession(const LogTime& time, const char* zantorVersion, unsigned bits, const LibraryIdentity& library)
{
    Body body;
    body.Append("#session\t");
    AppendTime(body, time);
    body.Append("\tZantor ").Append(zantorVersion).Append(' ').AppendDecimal(bits).Append("-bit\t");
    if (library.found)
        AppendEscaped(body, library.path);
    else
        body.Append('?');
    body.Append("\tsize=");
    if (library.sized)
        body.AppendDecimal(static_cast<std::int64_t>(library.size));
    else
        body.Append('?');
    body.Append("\tversion=");
    WideText<32> version;
    AppendVersion(version, library);
    if (library.versioned)
        AppendEscaped(body, version.c_str(), version.size());
    else
        body.Append("none");
    NarrowText<65> sha;
    AppendSha256(sha, library);
    body.Append("\tsha256=").Append(library.hashed ? sha.c_str() : "?");
    return Finish(body);
}

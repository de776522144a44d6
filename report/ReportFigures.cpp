#include "ReportFigures.h"

#include <cinttypes>

#include "Format.h"

const char* ContractRuleName(ContractRule rule)
{
    switch (rule) {
    case ContractRule::Register: return "callee-saved register changed";
    case ContractRule::DirectionFlag: return "direction flag left set";
    case ContractRule::X87Control: return "x87 control word changed";
    case ContractRule::Mxcsr: return "MXCSR control bits changed";
    case ContractRule::X87Stack: return "values left on the x87 stack";
    case ContractRule::StackPopped: return "stack popped by an odd amount";
    case ContractRule::StackPointer: return "stack pointer moved";
    case ContractRule::ExceptionChain: return "exception chain changed";
    case ContractRule::CurrentDirectory: return "current directory changed";
    }
    return "unknown rule";
}

const char* ConventionName(std::size_t convention)
{
    static const char* const kNames[] = {"x64", "stdcall", "cdecl", "unbalanced", "unknown (raised)"};
    return convention < sizeof kNames / sizeof kNames[0] ? kNames[convention] : "?";
}

const char* ResourceName(Resource resource)
{
    switch (resource) {
    case Resource::CommittedMemory: return "committed private memory";
    case Resource::Handles: return "handles";
    case Resource::GdiObjects: return "GDI objects";
    case Resource::UserObjects: return "USER objects";
    }
    return "?";
}

const char* GrowthVerdictName(GrowthVerdict verdict)
{
    switch (verdict) {
    case GrowthVerdict::NotMeasured: return "not measured here";
    case GrowthVerdict::TooFew: return "too few samples to judge";
    case GrowthVerdict::Steady: return "no leak";
    case GrowthVerdict::Leak: return "LEAK";
    }
    return "?";
}

ShortText HexCode(std::uint32_t code)
{
    return Format("0x%08" PRIX32, code);
}

FaultPlaceText FaultPlace(const FaultGroup& fault)
{
    const int digits = static_cast<int>(sizeof(std::uintptr_t) * 2);
    FaultPlaceText place;
    if (fault.module.size() == 0) {
        const ShortText address = Format("0x%0*" PRIXPTR, digits, fault.offset);
        place.Append(address.c_str(), address.size());
    } else {
        const ShortText offset = Format("+0x%" PRIXPTR, fault.offset);
        place.Append(fault.module.c_str(), fault.module.size()).Append(offset.c_str(), offset.size());
    }
    return place;
}

ShortText RegisterValue(const std::uint64_t (&value)[2])
{
    if (value[1] != 0)
        return Format("0x%016" PRIX64 ":%016" PRIX64, value[1], value[0]);
    return Format("0x%" PRIX64, value[0]);
}

GrowingText VerdictLine(const RunVerdict& verdict, const BurnInFigures& figures, const RunFacts& facts)
{
    if (!facts.end.finished) {
        // A checkpoint: what a run that is killed now leaves behind.
        GrowingText line;
        line.AppendFormat("INCOMPLETE: %" PRIu32 " of %" PRIu32 " cycles done, the run has not finished",
                          figures.cyclesDone, facts.cyclesAsked);
        for (std::size_t i = 0; i < verdict.reasonCount; ++i)
            line.Append(i ? "; " : "; so far: ").Append(verdict.reasons[i].c_str(), verdict.reasons[i].size());
        return line;
    }
    GrowingText line(verdict.failed ? "FAIL: " : "PASS: ");
    if (verdict.failed) {
        for (std::size_t i = 0; i < verdict.reasonCount; ++i)
            line.Append(i ? "; " : "").Append(verdict.reasons[i].c_str(), verdict.reasons[i].size());
    } else {
        line.AppendFormat("%" PRIu32 " cycles without a failed call, a difference or a leak", figures.cyclesDone);
    }
    if (verdict.stopped)
        line.AppendFormat("; stopped by the operator after %" PRIu32 " of %" PRIu32 " cycles", figures.cyclesDone,
                          facts.cyclesAsked);
    return line;
}

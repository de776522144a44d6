#include "ReportFigures.h"

#include <cinttypes>

#include "BreachValue.h"
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

namespace {

// The samples just before and just after a call: null where there was none.
ResourceStep Step(const ResourceSample* before, const ResourceSample* after, Resource resource)
{
    const auto r = static_cast<std::size_t>(resource);
    ResourceStep step;
    step.measured = before != nullptr && after != nullptr && before->measured[r] && after->measured[r];
    if (step.measured) {
        step.before = static_cast<double>(before->value[r]);
        step.after = static_cast<double>(after->value[r]);
    }
    return step;
}

}  // namespace

ResourceStep OpenChange(const BurnInFigures& figures, Resource resource)
{
    return Step(figures.haveBeforeOpen ? &figures.beforeOpen : nullptr,
                figures.samples.empty() ? nullptr : &figures.samples[0], resource);
}

ResourceStep CloseChange(const BurnInFigures& figures, Resource resource)
{
    return Step(figures.samples.empty() ? nullptr : &figures.samples.back(),
                figures.haveAfterClose ? &figures.afterClose : nullptr, resource);
}

namespace {

void AppendPlace(FaultPlaceText& place, TextView module, std::uintptr_t offset)
{
    const int digits = static_cast<int>(sizeof(std::uintptr_t) * 2);
    if (module.size == 0)
        place.AppendFormat("0x%0*" PRIXPTR, digits, offset);
    else
        place.Append(module.data, module.size).AppendFormat("+0x%" PRIXPTR, offset);
}

}  // namespace

FaultPlaceText FaultPlace(const FaultGroup& fault, const TextPool& texts)
{
    FaultPlaceText place;
    AppendPlace(place, texts.View(fault.module), fault.offset);
    if (fault.software) {
        place.Append(", raised at ");
        AppendPlace(place, texts.View(fault.raisedModule), fault.raisedOffset);
    }
    return place;
}

void AppendSuccessCodes(GrowingText& out, const SuccessCodes& success, Operation operation, const char* separator)
{
    for (std::size_t c = 0; c < success.Count(operation); ++c)
        out.AppendFormat("%s%" PRId32, c ? separator : "", success.Code(operation, c));
}

ShortText BreachValue(const BreachGroup& breach, const std::uint64_t (&value)[2])
{
    ShortText text;
    AppendBreachValue(text, breach.rule, breach.name.c_str(), value);
    return text;
}

GrowingText VerdictLine(const RunVerdict& verdict, const BurnInFigures& figures, const RunFacts& facts)
{
    const bool finished = facts.end.finished;
    GrowingText line;
    if (finished)
        line.Append(verdict.failed ? "FAIL: " : "PASS: ");
    else  // a checkpoint: what a run that is killed now leaves behind
        line.AppendFormat("INCOMPLETE: %" PRIu32 " of %" PRIu32 " cycles done, the run has not finished",
                          figures.cyclesDone, facts.cyclesAsked);
    if (verdict.failed || !finished) {
        for (std::size_t i = 0; i < verdict.reasonCount; ++i)
            line.Append(i ? "; " : finished ? "" : "; so far: ")
                .Append(verdict.reasons[i].c_str(), verdict.reasons[i].size());
    } else {
        line.AppendFormat("%" PRIu32 " cycles without a failed call, a difference or a leak", figures.cyclesDone);
    }
    if (verdict.stopped && finished)
        line.AppendFormat("; stopped by the operator after %" PRIu32 " of %" PRIu32 " cycles", figures.cyclesDone,
                          facts.cyclesAsked);
    return line;
}

GrowingText RunVerdictLine(const BurnInFigures& figures, const RunFacts& facts)
{
    return VerdictLine(JudgeRun(figures, facts.end), figures, facts);
}

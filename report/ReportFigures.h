// What the page and the JSON both say, worked out once: names, hexadecimal
// values, the growth verdicts. Internal to the report.
#pragma once

#include <cstdint>

#include "Format.h"
#include "Growing.h"
#include "Verdict.h"
#include "Report.h"

const char* ContractRuleName(ContractRule rule);
const char* ResourceName(Resource resource);          // "committed private memory", "handles"...
const char* GrowthVerdictName(GrowthVerdict verdict);  // "not measured here", "too few samples", "steady", "leak"
// What opening or closing the device changed of one resource: the samples just
// before and just after the call, when both measured it.
struct ResourceStep {
    bool measured = false;
    double before = 0, after = 0;
};
ResourceStep OpenChange(const BurnInFigures& figures, Resource resource);
ResourceStep CloseChange(const BurnInFigures& figures, Resource resource);
// Where a fault lies: "Mervik.dll+0x1A2B", or the address alone when it lies in no
// module; for a software exception placed in the library's code, then where it
// was raised: "Mervik.dll+0x1A2B, raised at KERNELBASE.dll+0x3C4D". `texts`: the
// figures' text pool, which holds the module names.
using FaultPlaceText = NarrowText<2 * kModuleUtf8Capacity + 64>;
FaultPlaceText FaultPlace(const FaultGroup& fault, const TextPool& texts);
// The success codes of `operation`, in decimal, `separator` between them.
void AppendSuccessCodes(GrowingText& out, const SuccessCodes& success, Operation operation, const char* separator);
// One of the breach's values, spelled as the notes and the call log spell it
// (AppendBreachValue).
ShortText BreachValue(const BreachGroup& breach, const std::uint64_t (&value)[2]);
// The one-line verdict: "PASS: ...", "FAIL: reason; reason", with "stopped by the
// operator after k of n cycles" where it was; for a checkpoint of a run still
// going, "INCOMPLETE: k of n cycles done..." and the reasons so far. Failed()
// when memory ran out.
GrowingText VerdictLine(const RunVerdict& verdict, const BurnInFigures& figures, const RunFacts& facts);

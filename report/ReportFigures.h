// What the page and the JSON both say, worked out once: names, hexadecimal
// values, the growth verdicts. Internal to the report.
#pragma once

#include <cstdint>

#include "Format.h"
#include "Growing.h"
#include "Verdict.h"
#include "Report.h"

const char* ContractRuleName(ContractRule rule);
const char* ConventionName(std::size_t convention);  // by Convention
const char* ResourceName(Resource resource);          // "committed private memory", "handles"...
const char* GrowthVerdictName(GrowthVerdict verdict);  // "not measured here", "too few samples", "steady", "leak"
// 0xC0000005
ShortText HexCode(std::uint32_t code);
// Where a fault lies: "Mervik.dll+0x1A2B", or the address alone when it lies in no module.
using FaultPlaceText = NarrowText<kModuleUtf8Capacity + 32>;
FaultPlaceText FaultPlace(const FaultGroup& fault);
// A register's value: one word, or two (high:low) when the high one is not 0 (XMM).
ShortText RegisterValue(const std::uint64_t (&value)[2]);
// The one-line verdict: "PASS: ...", "FAIL: reason; reason", with "stopped by the
// operator after k of n cycles" where it was; for a checkpoint of a run still
// going, "INCOMPLETE: k of n cycles done..." and the reasons so far. Failed()
// when memory ran out.
GrowingText VerdictLine(const RunVerdict& verdict, const BurnInFigures& figures, const RunFacts& facts);

// The card-information read behind button 1004.
#pragma once

#include "CommandHost.h"
#include "Buffers.h"
#include "Reader.h"

// Fetches fields 0-8 and 10 into their boxes (the name only when its call
// succeeds; its failure is shown in one message and the command carries on),
// the photo text's length into box 1018, and saves the photo as zp.jpg.
// Every buffer the library sees comes from `buffers`, the decoded photo from
// its OwnUse(): when one cannot be had, shows the out-of-memory message and
// skips what needs it. A call that raises instead of
// returning is reported in one message and ends the command there: boxes
// already written stay, nothing later is called or written.
void RunReadCardInfo(CommandHost& host, Reader& reader, const Allocator& buffers);

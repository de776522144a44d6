// The card-information read behind button 1004.
#pragma once

#include "CommandHost.h"
#include "Reader.h"

// Fetches fields 0-8 and 10 into their boxes, the photo text's length into box
// 1018, and saves the photo as zp.jpg.
void RunReadCardInfo(CommandHost& host, Reader& reader);

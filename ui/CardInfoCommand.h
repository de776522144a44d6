// The card-information read behind button 1004.
#pragma once

#include "CommandHost.h"
#include "HeapBuffer.h"
#include "Reader.h"

// Fetches fields 0-8 and 10 into their boxes (the name only when its call
// succeeds; its failure is shown in one message and the command carries on),
// the photo text's length into box 1018, and saves the photo as zp.jpg.
void RunReadCardInfo(CommandHost& host, Reader& reader);

// The same, taking the two photo buffers from `heap`. When the photo text
// buffer cannot be had, shows the out-of-memory message and skips the photo.
void RunReadCardInfo(CommandHost& host, Reader& reader, const Allocator& heap);

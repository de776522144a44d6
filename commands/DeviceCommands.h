// The four device buttons: each calls one reader operation and shows its outcome
// in one message, returning once the operator has dismissed it.
#pragma once

#include "CommandHost.h"
#include "Buffers.h"
#include "Reader.h"

// Each takes its 1024-byte text buffer from `buffers`. A call that raises
// instead of returning is reported in the one message, naming the operation.

// Opens the reader on the port typed in the port box.
void RunOpenDevice(CommandHost& host, Reader& reader, const Allocator& buffers);
// Closes the reader.
void RunCloseDevice(CommandHost& host, Reader& reader, const Allocator& buffers);
// Shows the reader's status text and code.
void RunDeviceStatus(CommandHost& host, Reader& reader, const Allocator& buffers);
// Has the reader read a card; shows its text and code.
void RunReadCard(CommandHost& host, Reader& reader, const Allocator& buffers);

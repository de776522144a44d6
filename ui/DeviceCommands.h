// The four device buttons: each calls one reader operation and shows its outcome
// in one message, returning once the operator has dismissed it.
#pragma once

#include "CommandHost.h"
#include "Reader.h"

// Opens the reader on the port typed in the port box.
void RunOpenDevice(CommandHost& host, Reader& reader);
// Closes the reader.
void RunCloseDevice(CommandHost& host, Reader& reader);
// Shows the reader's status text and code.
void RunDeviceStatus(CommandHost& host, Reader& reader);
// Has the reader read a card; shows its text and code.
void RunReadCard(CommandHost& host, Reader& reader);

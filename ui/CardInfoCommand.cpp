#include "CardInfoCommand.h"

// Placeholder until the card-information read lands.
void RunReadCardInfo(CommandHost&, Reader&) {}

#pragma once

#include "forms/MainWindow.h"
#include "platform/Automation.h"

namespace qmpvx {

enum class DeliveryKind { Manual, Automatic };

// Brings the window named in WINDOW_NAME_TEXTBOX to the foreground and types
// the text of TEXT_TO_SEND_TEXTBOX into it, then, with the Enter tick box, an
// Enter after a fresh activation. The text goes to the keystroke service as it
// stands, in its key notation. Stops at the first step that throws; the
// keystroke object is released on every way out.
void deliver(MainWindow& window, Automation& automation, DeliveryKind kind);

} // namespace qmpvx

#pragma once

#include "platform/x11/KeymapIndex.h"
#include "platform/x11/XConnection.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qmpvx::x11 {

// What one run of the program has changed on the keyboard, as recorded on
// the display, so that a later run can undo it if this one is killed.
struct LedgerEntry {
    xcb_window_t owner = XCB_NONE;  // a window of the run's connection: it is gone when the run is
    std::string token;              // tells the run from a later client that gets the same window id
    std::uint32_t pid = 0;
    bool typing = false;            // holds the keyboard: other copies wait before they activate a window
    bool capsLockOff = false;       // Caps Lock was on and is off while typing
    std::vector<std::uint8_t> pressed;                        // keys it may hold down on the XTest keyboard
    KeycodeSymbols lent;                                      // empty keycodes it maps, and to what

    friend bool operator==(const LedgerEntry&, const LedgerEntry&) = default;
};

// One line per entry, readable with xprop. Lines that do not parse are
// dropped: a record that cannot be read cannot be repaired either.
std::string formatLedger(const std::vector<LedgerEntry>& entries);
std::vector<LedgerEntry> parseLedger(std::string_view text);

// What was undone for a run that ended without tidying up.
struct Repair {
    std::uint32_t pid = 0;
    std::size_t keycodes = 0;
    std::size_t keys = 0;
    bool capsLock = false;
};
std::string describe(const Repair& repair);

// This run's entry in the record on the root window of its display (which
// ends with the X server). Every change of the record happens with the
// server grabbed, so that copies of the program never lose each other's
// entries. The entry is written before the keyboard is changed and cleared
// after it is put back, so a killed run leaves exactly what must be undone.
class LoanLedger {
public:
    explicit LoanLedger(XConnection& connection);
    ~LoanLedger();
    LoanLedger(const LoanLedger&) = delete;
    LoanLedger& operator=(const LoanLedger&) = delete;

    LedgerEntry& own() { return own_; }
    // Writes this run's entry as it stands now.
    void publish();

    // Undoes what runs that are no longer alive left behind: their borrowed
    // keycodes are emptied (if they still carry what was lent), their keys
    // released, Caps Lock locked again; each repair is noted on standard error.
    std::vector<Repair> repairAbandoned();

    // Waits (bounded, honouring a termination request) until no other live
    // copy holds the keyboard, then holds it: two copies typing at once
    // would take the focus from each other.
    void holdKeyboard(std::chrono::milliseconds timeout);
    void releaseKeyboard();

    // Keycodes that live copies other than this one have borrowed.
    std::vector<std::uint8_t> lentByOthers();

private:
    // Reads the record, repairs and drops dead entries, lets `change` edit
    // the live ones, and writes the record back, all with the server grabbed.
    template <typename Change>
    auto transact(Change&& change);
    bool alive(const LedgerEntry& entry);
    Repair repair(const LedgerEntry& entry);

    XConnection& connection_;
    xcb_atom_t record_;
    xcb_atom_t ownerAtom_;
    LedgerEntry own_;
    LedgerEntry published_;
};

} // namespace qmpvx::x11

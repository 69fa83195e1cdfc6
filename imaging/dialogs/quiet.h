// Keeping a dialog's own writes to its controls away from its change handlers.
#pragma once

// While it lives, the dialog's "controls live" flag is down, so that the change handlers set off
// by the dialog writing its controls return at once; the flag's earlier value comes back after.
class TQuiet
{
public:
    explicit TQuiet(bool& Live) : FLive(Live), FWas(Live) { FLive = false; }
    ~TQuiet() { FLive = FWas; }
    TQuiet(const TQuiet&) = delete;
    TQuiet& operator=(const TQuiet&) = delete;

private:
    bool& FLive;
    bool FWas;
};
